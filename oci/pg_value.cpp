// Names, column types and values in PostgreSQL's terms for the PostgreSQL
// target: values as COPY text (the text format: backslash escapes, \N for
// NULL), decoded by the shared decoders of Oracle's value formats.
#include <cstdio>
#include <cstring>

#include "kelvo/copy_text.h"
#include "oci_impl.h"

// A name Oracle keeps in upper case (one written without double quotes:
// letters, digits, '_', '$', '#', a letter first) becomes lower case, so that
// SCOTT.EMP is scott.emp; any other name keeps its exact spelling and needs
// double quotes in PostgreSQL as it did in Oracle.
std::string pg_name(const std::string &name)
{
    bool plain = !name.empty() && name[0] >= 'A' && name[0] <= 'Z';
    for (char c : name)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' || c == '#'))
            plain = false;
    if (!plain)
        return name;
    std::string low = name;
    for (char &c : low)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    return low;
}

std::string pg_ident(const std::string &name) { return sql_quote_ident(pg_name(name)); }

// The PostgreSQL column type of an Oracle type text as the parser keeps it
// (VARCHAR2(30), TIMESTAMP(6) WITH TIME ZONE, ...). Lengths are Oracle's
// bytes: a national column's are characters of nchar_width bytes.
std::string pg_type(const std::string &t, int nchar_width)
{
    auto starts = [&t](const char *w) { return t.compare(0, strlen(w), w) == 0; };
    auto length = [&t](int width) {
        size_t a = t.find('(');
        if (a == std::string::npos)
            return std::string();
        long n = strtol(t.c_str() + a + 1, nullptr, 10) / width;
        return "(" + std::to_string(n > 0 ? n : 1) + ")";
    };
    if (starts("VARCHAR2") || starts("NVARCHAR2"))
        return "varchar" + length(t[0] == 'N' ? nchar_width : 1);
    if (starts("NCHAR") || starts("CHAR"))
        return "char" + length(t[0] == 'N' ? nchar_width : 1);
    if (starts("NUMBER"))
        return "numeric";
    if (starts("DATE"))
        return "timestamp(0)";
    if (starts("TIMESTAMP"))
        return t.find("TIME ZONE") != std::string::npos ? "timestamptz" : "timestamp";
    if (starts("INTERVAL"))
        return "interval";
    if (starts("BINARY_FLOAT"))
        return "real";
    if (starts("BINARY_DOUBLE"))
        return "double precision";
    if (starts("RAW") || starts("LONG RAW") || starts("BLOB"))
        return "bytea";
    return "text";   // LONG, CLOB, NCLOB
}

void pg_copy_escape(const char *p, size_t n, std::string &out)
{
    copy_text_escaped(p, n, [&out](const char *s, size_t k) { out.append(s, k); });
}

void pg_hex(const uint8_t *p, size_t n, std::string &out)
{
    static const char digits[] = "0123456789abcdef";
    size_t at = out.size();
    out.resize(at + 2 * n);
    for (size_t i = 0; i < n; i++) {
        out[at + 2 * i] = digits[p[i] >> 4];
        out[at + 2 * i + 1] = digits[p[i] & 15];
    }
}

// An ISO date-time text with an astronomical year ("0000", "-0043") in
// PostgreSQL's era form, which has no year 0: 1 BC is "0001 ... BC".
static void era(std::string &s)
{
    bool neg = !s.empty() && s[0] == '-';
    size_t dash = s.find('-', neg ? 1 : 0);
    if (dash == std::string::npos)
        return;
    long y = strtol(s.c_str(), nullptr, 10);
    if (y > 0)
        return;
    char buf[24];
    snprintf(buf, sizeof buf, "%04ld", 1 - y);
    s = buf + s.substr(dash) + " BC";
}

// Oracle's interval literals ("+YY-MM", "+DD HH:MI:SS.FFFFFFFFF") with the
// sign on every field, as PostgreSQL's own interval style reads them.
static void interval_text(std::string &s, bool ym)
{
    const char *sign = s[0] == '-' ? "-" : "";
    std::string body = s.substr(1);
    if (ym) {
        size_t dash = body.find('-');
        s = sign + body.substr(0, dash) + " years " + sign + body.substr(dash + 1) + " months";
    } else {
        size_t sp = body.find(' ');
        s = sign + body.substr(0, sp) + " days " + sign + body.substr(sp + 1);
    }
}

// A number's text with Oracle's name of infinity (inf) in PostgreSQL's.
static void infinity(const char *buf, size_t len, const char *inf, std::string &out)
{
    out.assign(buf, len);
    if (out == inf)
        out = "Infinity";
    else if (out == std::string("-") + inf)
        out = "-Infinity";
}

// The COPY text of one value of external type dty (n bytes at p): 0, or the
// Oracle error code of a value the decoders refuse. A value Oracle reads as
// NULL (an empty string or RAW) sets null.
int pg_value_text(OCIEnv *env, ub2 dty, ub1 csform, const uint8_t *p, size_t n, std::string &out, bool &null)
{
    std::string &s = out;
    s.clear();
    null = false;
    int code = 0;
    switch (dty) {
    case SQLT_CHR:
    case SQLT_AFC:
    case SQLT_LNG: {
        if (n == 0) {
            null = true;
            return 0;
        }
        std::string u;
        cs_to_utf8(env, csform == SQLCS_NCHAR ? env->nchar_cs : env->client_cs, p, n, u);
        pg_copy_escape(u.data(), u.size(), s);
        return 0;
    }
    case SQLT_BIN:
    case SQLT_LBI:
        if (n == 0) {
            null = true;
            return 0;
        }
        s = "\\\\x";
        pg_hex(p, n, s);
        return 0;
    case SQLT_NUM: {
        char buf[ORA_NUMBER_TEXT_SIZE];
        size_t len;
        code = ora_number_text(p, n, buf, &len);
        if (!code)
            infinity(buf, len, "~", s);
        return code;
    }
    case SQLT_DAT:
        code = ora_date_text(p, n, s);
        if (!code)
            era(s);
        return code;
    case 180:
        code = ora_timestamp_text(p, n, false, s);
        if (!code)
            era(s);
        return code;
    case 181:
    case 231: {
        // PostgreSQL keeps the instant, not the zone: the stored UTC time
        // (the zone bytes checked first) goes with an offset of zero. A
        // WITH LOCAL TIME ZONE value is taken as stored in UTC.
        if (dty == 181 && (code = ora_timestamp_text(p, n, true, s)) != 0)
            return code;
        code = ora_timestamp_text(p, n < 11 ? n : 11, false, s);
        if (code)
            return code;
        era(s);
        s.insert(s.size() >= 3 && s.compare(s.size() - 3, 3, " BC") == 0 ? s.size() - 3 : s.size(), "+00");
        return 0;
    }
    case 182:
    case 183:
        code = dty == 182 ? ora_interval_ym_text(p, n, s) : ora_interval_ds_text(p, n, s);
        if (!code)
            interval_text(s, dty == 182);
        return code;
    case SQLT_IBFLOAT:
    case SQLT_IBDOUBLE: {
        char buf[ORA_FLOAT_TEXT_SIZE];
        size_t len;
        code = ora_binary_float_text(p, n, dty == SQLT_IBDOUBLE, buf, &len);
        if (!code)
            infinity(buf, len, "Inf", s);
        return code;
    }
    default: return 1460;
    }
}
