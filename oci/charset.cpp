// Character data from the client's (or national) character set to UTF-8 for
// the SQLite target: one converter per set for the life of the environment.
// A byte the set does not define is kept as the character of the same number
// (ISO-8859-1), so no row is lost; a set the layer does not know keeps its
// bytes, with one warning.
#include <cstdio>

#include "oci_impl.h"

void cs_to_utf8(OCIEnv *env, const std::string &cs, const uint8_t *p, size_t n, std::string &out)
{
    out.clear();
    auto it = env->conv.find(cs);
    if (it == env->conv.end()) {
        it = env->conv.emplace(cs, cs_converter{}).first;
        cs_open(it->second, cs);
    }
    cs_converter &c = it->second;
    if (c.kind == cs_converter::UNKNOWN && !c.warned) {
        fprintf(stderr, "Character set \"%s\" is not known: its data is stored unconverted.\n", cs.c_str());
        c.warned = true;
    }
    cs_convert(c, p, n, out, CS_INVALID_LATIN1);
}

void cs_release(OCIEnv *env)
{
    for (auto &kv : env->conv)
        cs_close(kv.second);
    env->conv.clear();
}
