// The database writer: the datafiles it opens, the dictionary's own objects
// added to the description, names resolved and object numbers assigned.
#include "db_builder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <sys/stat.h>

namespace kb::detail {

int Builder::run()
{
    if (::mkdir(dir_.c_str(), 0755) != 0 && errno != EEXIST) {
        fprintf(stderr, "mkdir %s: %s\n", dir_.c_str(), strerror(errno));
        return -1;
    }
    if (open_files() || add_system_objects() || resolve() || assign_numbers() || user_segments() ||
        dictionary())
        return -1;
    for (FileAlloc *fa : order_) {
        fa->desc->blocks = fa->df.d.blocks;
        if (df_finish(fa->df))
            return -1;
    }
    return 0;
}

int Builder::open_files()
{
    db_.files.clear();
    for (DbTablespace &t : db_.tablespaces)
        for (DbFile &f : t.files) {
            if (f.rfn == 0)
                f.rfn = f.fno;
            if (f.name.empty()) {
                std::string n = t.name;
                for (char &ch : n)
                    ch = (char)tolower((unsigned char)ch);
                f.name = n + std::to_string(f.fno) + ".dbf";
            }
            f.path = dir_ + "/" + f.name;
            FileDesc d;
            d.fno = f.fno;
            d.rfn = f.rfn;
            d.tsn = t.tsn;
            d.blocks = std::max<uint32_t>(f.blocks, 64);
            d.bsz = t.bsz ? t.bsz : db_.bsz;
            d.blk0_sz = f.blk0_sz;
            d.bigfile = f.bigfile;
            d.tsname = t.name;
            d.dbid = db_.dbid;
            auto fa = std::make_unique<FileAlloc>();
            if (df_create(fa->df, f.path, d))
                return -1;
            fa->desc = &f;
            fa->tsn = t.tsn;
            files_.push_back(std::move(fa));
        }
    // The SYSTEM datafile: file 1, or (a pluggable database's file set) the
    // first file of tablespace 0, whose relative file number is 1 all the same.
    for (auto &fa : files_)
        if (fa->desc->fno == 1)
            order_.push_back(fa.get());
    for (auto &fa : files_)
        if (order_.empty() && fa->tsn == 0 && fa->desc->rfn == 1)
            order_.push_back(fa.get());
    if (order_.empty()) {
        fprintf(stderr, "builder: no SYSTEM datafile (file number 1, or relative file 1 of tablespace 0)\n");
        return -1;
    }
    sys_ = order_[0];
    for (auto &fa : files_)
        if (fa.get() != sys_)
            order_.push_back(fa.get());
    for (FileAlloc *fa : order_)
        db_.files.push_back(fa->desc->path);
    return 0;
}

const DbTablespace *Builder::tablespace(const std::string &name)
{
    for (const DbTablespace &t : db_.tablespaces)
        if (t.name == name)
            return &t;
    fprintf(stderr, "builder: tablespace %s not described\n", name.c_str());
    return nullptr;
}

// The file a new segment of the tablespace goes to (files in turn).
FileAlloc *Builder::file_for(const std::string &tsname)
{
    const DbTablespace *t = tablespace(tsname);
    if (!t)
        return nullptr;
    std::vector<FileAlloc *> mine;
    for (auto &fa : files_)
        if (fa->tsn == t->tsn)
            mine.push_back(fa.get());
    if (mine.empty()) {
        fprintf(stderr, "builder: tablespace %s has no datafile\n", tsname.c_str());
        return nullptr;
    }
    return mine[turn_[tsname]++ % mine.size()];
}

uint32_t Builder::uid(const std::string &name, bool *ok)
{
    for (const DbUser &u : db_.users)
        if (u.name == name)
            return u.uid;
    fprintf(stderr, "builder: user %s not described\n", name.c_str());
    *ok = false;
    return 0;
}

// RECYCLEBIN$ is left out unless the description asks for it: the
// databases without it read as before it was known.
bool Builder::wanted(const SysObject &o) const
{
    return db_.recyclebin || std::string(o.name) != "RECYCLEBIN$";
}

int Builder::add_system_objects()
{
    for (const SysObject &o : system_objects()) {
        if (!wanted(o))
            continue;
        if (o.type == 3) {
            DbCluster c;
            c.owner = "SYS";
            c.name = o.name;
            c.objn = c.objd = o.objn;
            c.tablespace = "SYSTEM";
            c.key = parse_columns(o.columns);
            c.seg_kind = db_.shape.own_kind;
            c.system = true;
            db_.clusters.push_back(c);
        } else if (o.type == 2) {
            DbTable t;
            t.owner = "SYS";
            t.name = o.name;
            t.objn = t.objd = o.objn;
            if (*o.parent)
                t.objd = cluster(o.parent)->objn;
            t.tablespace = "SYSTEM";
            t.cols = parse_columns(o.columns);
            t.cluster = o.parent;
            for (const char *k : o.key)
                t.cluster_cols.push_back(k);
            t.tabn = (uint32_t)o.tabno;
            t.tab_flags = 0;
            t.system = true;
            if (t.name == "COL$" && db_.shape.col_property_segcol)
                for (size_t i = 0; i < t.cols.size(); i++)
                    t.cols[i].segcol = t.cols[i].name == "PROPERTY" ? db_.shape.col_property_segcol : (int)i + 1;
            std::string n = o.name;
            t.seg_kind = (n == "PROPS$" || n == "TABPART$" || n == "TABSUBPART$" || n == "TABCOMPART$" ||
                          n == "RECYCLEBIN$")
                             ? db_.shape.part_kind
                             : db_.shape.own_kind;
            db_.tables.push_back(t);
        } else {
            DbIndex x;
            x.owner = "SYS";
            x.name = o.name;
            x.table = o.parent;
            x.objn = o.objn;
            x.type = std::string(o.parent).rfind("C_", 0) == 0 ? 3 : 1;
            db_.indexes.push_back(x);
        }
    }
    return 0;
}

DbCluster *Builder::cluster(const std::string &name)
{
    for (DbCluster &c : db_.clusters)
        if (c.name == name)
            return &c;
    return nullptr;
}

// Column numbers and segment column numbers: cluster key columns first
// (in key order), then the others in column order; columns given a
// SEGCOL# keep it.
int Builder::resolve()
{
    for (DbCluster &c : db_.clusters)
        for (size_t i = 0; i < c.key.size(); i++) {
            c.key[i].colno = (int)i + 1;
            if (c.key[i].segcol < 0)
                c.key[i].segcol = (int)i + 1;
        }
    for (DbTable &t : db_.tables) {
        std::set<int> used;
        for (size_t i = 0; i < t.cols.size(); i++) {
            t.cols[i].colno = (int)i + 1;
            if (t.cols[i].segcol > 0)
                used.insert(t.cols[i].segcol);
        }
        int next = 1;
        auto take = [&](DbColumn &c) {
            if (c.segcol >= 0)
                return;
            while (used.count(next))
                next++;
            c.segcol = next;
            used.insert(next);
        };
        if (!t.cluster.empty()) {
            if (!cluster(t.cluster)) {
                fprintf(stderr, "builder: table %s names cluster %s, not described\n", t.name.c_str(),
                        t.cluster.c_str());
                return -1;
            }
            for (const std::string &k : t.cluster_cols) {
                auto it = std::find_if(t.cols.begin(), t.cols.end(), [&](const DbColumn &c) { return c.name == k; });
                if (it == t.cols.end()) {
                    fprintf(stderr, "builder: cluster column %s not in table %s\n", k.c_str(), t.name.c_str());
                    return -1;
                }
                take(*it);
            }
        }
        for (DbColumn &c : t.cols)
            take(c);
    }
    return 0;
}

void Builder::add_object(uint32_t objn, uint32_t objd, uint32_t owner, const std::string &name, const std::string &sub,
                         int type, uint32_t flags, bool null_objd)
{
    DbObject o;
    o.objn = objn;
    o.objd = null_objd ? 0 : objd;
    o.owner = owner;
    o.name = name;
    o.subname = sub;
    o.type = type;
    o.flags = flags;
    o.null_objd = null_objd;
    db_.objects.push_back(o);
}

int Builder::assign_numbers()
{
    bool ok = true;
    uint32_t next = FIRST_USER_OBJN;
    auto bump = [&](uint32_t v) { next = std::max(next, v + 1); };
    for (const DbCluster &c : db_.clusters)
        if (!c.system)
            bump(c.objn);
    for (const DbTable &t : db_.tables)
        if (!t.system) {
            bump(t.objn);
            for (const DbPart &p : t.parts) {
                bump(p.objn);
                for (const DbPart &s : p.subparts)
                    bump(s.objn);
            }
        }
    auto num = [&](uint32_t &v) {
        if (v == 0)
            v = next++;
    };

    // The dictionary's own objects, by object number.
    std::vector<const SysObject *> sys;
    for (const SysObject &o : system_objects())
        if (wanted(o))
            sys.push_back(&o);
    std::sort(sys.begin(), sys.end(), [](const SysObject *a, const SysObject *b) { return a->objn < b->objn; });
    for (const SysObject *o : sys) {
        uint32_t objd = o->objn;
        if (o->type == 2 && *o->parent)
            objd = cluster(o->parent)->objn;
        add_object(o->objn, objd, 0, o->name, "", o->type, 0, false);
    }

    for (DbCluster &c : db_.clusters) {
        if (c.system)
            continue;
        num(c.objn);
        if (c.objd == 0)
            c.objd = c.objn;
        add_object(c.objn, c.objd, uid(c.owner, &ok), c.name, "", 3, 0, false);
    }
    for (DbTable &t : db_.tables) {
        if (t.system)
            continue;
        uint32_t owner = uid(t.owner, &ok);
        num(t.objn);
        if (!t.cluster.empty())
            t.objd = cluster(t.cluster)->objd;
        else if (t.objd == 0 && t.parts.empty())
            t.objd = t.objn;
        add_object(t.objn, t.objd, owner, t.name, "", 2, t.obj_flags, !t.parts.empty());
        for (DbPart &p : t.parts) {
            num(p.objn);
            if (!t.composite && p.objd == 0)
                p.objd = p.objn;
            add_object(p.objn, p.objd, owner, t.name, p.name, 19, 0, t.composite);
            for (DbPart &s : p.subparts) {
                num(s.objn);
                if (s.objd == 0)
                    s.objd = s.objn;
                add_object(s.objn, s.objd, owner, t.name, s.name, 34, 0, false);
            }
        }
        for (DbLob &l : t.lobs) {
            auto it = std::find_if(t.cols.begin(), t.cols.end(), [&](const DbColumn &c) { return c.name == l.column; });
            if (it == t.cols.end()) {
                fprintf(stderr, "builder: LOB column %s not in table %s\n", l.column.c_str(), t.name.c_str());
                return -1;
            }
            l.colno = it->colno;
            num(l.lobj);
            num(l.ind);
            char lob[64], il[64];
            snprintf(lob, sizeof lob, "SYS_LOB%010uC%05d$$", t.objn, l.colno);
            snprintf(il, sizeof il, "SYS_IL%010uC%05d$$", t.objn, l.colno);
            add_object(l.lobj, l.lobj, owner, lob, "", 21, 0, false);
            add_object(l.ind, l.ind, owner, il, "", 1, 0, false);
            DbIndex x;
            x.owner = t.owner;
            x.name = il;
            x.table = t.name;
            x.objn = l.ind;
            x.bo = t.objn;
            x.type = 8;
            db_.indexes.push_back(x);
        }
    }
    for (DbObject &o : db_.extra_objects) {
        num(o.objn);
        db_.objects.push_back(o);
    }
    for (DbIndex &x : db_.indexes)
        if (x.bo == 0) {
            for (const DbObject &o : db_.objects)
                if (o.name == x.table && o.owner == 0)
                    x.bo = o.objn;
        }
    return ok ? 0 : -1;
}

} // namespace kb::detail

namespace kb {

int build_database(Database &db, const std::string &dir)
{
    detail::Builder b(db, dir);
    return b.run();
}

} // namespace kb
