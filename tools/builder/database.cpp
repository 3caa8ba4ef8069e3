// A whole database from its description: the user segments, then the
// SYSTEM datafile's dictionary (bootstrap table, clusters C_USER#, C_TS#,
// C_OBJ#, C_FILE#_BLOCK#, the tables with segments of their own, the empty
// index segments the bootstrap rows name).
#include "dictdefs.h"
#include "lobs.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <sys/stat.h>

namespace kb {

namespace {

const uint32_t FIRST_USER_OBJN = 73000;

bool is_char_type(int t) { return t == 1 || t == 96 || t == 8 || t == 112; }

int type_length(const DbColumn &c)
{
    if (c.length > 0)
        return c.length;
    switch (c.type) {
    case 2: return 22;
    case 12: return 7;
    case 100: return 4;
    case 101: return 8;
    case 112: case 113: return 4000;
    case 180: case 231: return 11;
    case 181: return 13;
    default: return 0;
    }
}

int charsetform_of(const DbColumn &c) { return c.charsetform >= 0 ? c.charsetform : is_char_type(c.type) ? 1 : 0; }

// Builds one dictionary row over a table's columns by name; unset columns
// are NULL. Lookups start where the previous one ended, since rows are
// filled in column order.
class RowB {
  public:
    explicit RowB(const std::vector<DbColumn> &cols) : cols_(cols), v_(cols.size(), col_null()) {}
    RowB &n(const char *c, int64_t x) { return set(c, col_num(x)); }
    RowB &s(const char *c, const std::string &x) { return set(c, col_str(x)); }
    RowB &d(const char *c) { return set(c, col_bytes(ora_date(2013, 8, 24, 11, 37, 42))); }
    RowB &set(const char *c, Col v)
    {
        for (size_t k = 0; k < cols_.size(); k++) {
            size_t i = (hint_ + k) % cols_.size();
            if (cols_[i].name == c) {
                v_[i] = std::move(v);
                hint_ = i + 1;
                return *this;
            }
        }
        fprintf(stderr, "builder: no column %s\n", c);
        return *this;
    }
    std::vector<Col> cols() { return std::move(v_); }

  private:
    const std::vector<DbColumn> &cols_;
    std::vector<Col> v_;
    size_t hint_ = 0;
};

struct FileAlloc {
    Datafile df;
    DbFile *desc = nullptr;
    uint32_t tsn = 0;
    uint32_t next = 9;   // blocks 2..8: space management of the file
};

// A segment whose rows are ready, to be sized, planned and written.
struct SegJob {
    uint8_t kind = 0x10;
    uint32_t objd = 0;
    SegOpts so;
    BlockOpts bo;
    bool cluster = false;
    std::vector<LogicalRow> rows;                 // heap
    std::vector<std::vector<Col>> keys;           // cluster
    std::vector<ClusterMember> members;
    uint32_t raw_type = 0;                        // a single block of this type instead (an undo header)
    Segment seg;
    std::vector<RowPlace> *places = nullptr;      // heap rows: where they went
    std::vector<std::vector<RowPlace>> *mplaces = nullptr;   // cluster members
};

class Builder {
  public:
    Builder(Database &db, const std::string &dir) : db_(db), dir_(dir) {}

    int run()
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

  private:
    // ---------------------------------------------------------------- files
    int open_files()
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
                auto fa = std::make_unique<FileAlloc>();
                if (df_create(fa->df, f.path, d))
                    return -1;
                fa->desc = &f;
                fa->tsn = t.tsn;
                files_.push_back(std::move(fa));
            }
        for (auto &fa : files_)
            if (fa->desc->fno == 1)
                order_.push_back(fa.get());
        if (order_.empty()) {
            fprintf(stderr, "builder: no datafile with file number 1 (SYSTEM)\n");
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

    const DbTablespace *tablespace(const std::string &name)
    {
        for (const DbTablespace &t : db_.tablespaces)
            if (t.name == name)
                return &t;
        fprintf(stderr, "builder: tablespace %s not described\n", name.c_str());
        return nullptr;
    }

    // The file a new segment of the tablespace goes to (files in turn).
    FileAlloc *file_for(const std::string &tsname)
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

    uint32_t uid(const std::string &name, bool *ok)
    {
        for (const DbUser &u : db_.users)
            if (u.name == name)
                return u.uid;
        fprintf(stderr, "builder: user %s not described\n", name.c_str());
        *ok = false;
        return 0;
    }

    // ------------------------------------------------------ system objects
    int add_system_objects()
    {
        for (const SysObject &o : system_objects()) {
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
                std::string n = o.name;
                t.seg_kind = (n == "PROPS$" || n == "TABPART$" || n == "TABSUBPART$" || n == "TABCOMPART$")
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

    DbCluster *cluster(const std::string &name)
    {
        for (DbCluster &c : db_.clusters)
            if (c.name == name)
                return &c;
        return nullptr;
    }

    // Column numbers and segment column numbers: cluster key columns first
    // (in key order), then the others in column order; columns given a
    // SEGCOL# keep it.
    int resolve()
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

    // ------------------------------------------------------ object numbers
    void add_object(uint32_t objn, uint32_t objd, uint32_t owner, const std::string &name, const std::string &sub,
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

    int assign_numbers()
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

    // ------------------------------------------------------ segment writing
    static size_t row_bytes(const std::vector<LogicalRow> &rows)
    {
        size_t n = 0;
        for (const LogicalRow &r : rows) {
            Piece p;
            p.cols = r.cols;
            n += piece_size(p) + 12 + (r.layout == RowLayout::Migrated ? 12 : 0);
        }
        return n;
    }

    uint32_t estimate(const SegJob &j, uint32_t bsz) const
    {
        size_t bytes = row_bytes(j.rows);
        for (const ClusterMember &m : j.members)
            bytes += row_bytes(m.rows);
        for (const auto &k : j.keys) {
            Piece p;
            p.cols = k;
            bytes += piece_size(p) + 24;
        }
        size_t usable = bsz * (100 - (size_t)std::clamp(j.bo.pctfree, 0, 90)) / 100;
        usable = usable > 400 ? usable - 300 : 100;
        return (uint32_t)(bytes / usable + 2);
    }

    // Lays the job's segment out from the file's next free block with room
    // for `data` data blocks; returns the block after it.
    uint32_t plan(SegJob &j, FileAlloc &fa, uint32_t start, uint32_t data)
    {
        uint32_t ext = (uint32_t)std::max(j.so.ext_blocks, j.kind == 0x23 ? 4 : 2);
        uint32_t n = 1;
        for (int pass = 0; pass < 4; pass++) {
            Segment probe;
            probe.kind = j.kind;
            probe.hdr_max = j.so.hdr_max;
            probe.map_max = j.so.map_max;
            std::vector<uint32_t> lens(n, ext);
            plan_segment(probe, fa.df, start, lens);
            uint32_t have = (uint32_t)probe.data.size();
            if (have >= data)
                break;
            n += (data - have + ext - 1) / ext;
        }
        j.seg = Segment{};
        j.seg.kind = j.kind;
        j.seg.objd = j.objd;
        j.seg.hdr_max = j.so.hdr_max;
        j.seg.map_max = j.so.map_max;
        if (j.raw_type)
            return plan_segment(j.seg, fa.df, start, {1});
        return plan_segment(j.seg, fa.df, start, std::vector<uint32_t>(n, ext));
    }

    int pack(SegJob &j, FileAlloc &fa, bool dry)
    {
        if (j.raw_type) {
            if (dry)
                return 0;
            std::vector<uint8_t> blk(fa.df.d.bsz, 0);
            init_block(blk.data(), fa.df.d.bsz, (uint8_t)j.raw_type, j.seg.hdr);
            return df_write_block(fa.df, fa.df.block_of(j.seg.hdr), blk.data());
        }
        if (j.cluster)
            return write_cluster(fa.df, j.seg, j.keys, j.members, j.bo, dry ? nullptr : j.mplaces, dry);
        return write_heap_table(fa.df, j.seg, j.rows, j.bo, dry ? nullptr : j.places, dry);
    }

    // Sizes, plans and writes one segment in file fa.
    int write_job(SegJob &j, FileAlloc &fa)
    {
        uint32_t data = estimate(j, fa.df.d.bsz);
        for (int tries = 0; tries < 24; tries++) {
            uint32_t end = plan(j, fa, fa.next, data);
            if (df_grow(fa.df, end))
                return -1;
            int rc = pack(j, fa, true);
            if (rc == -2) {
                data = data * 2 + 1;
                continue;
            }
            if (rc < 0 || pack(j, fa, false) < 0)
                return -1;
            fa.next = end;
            return 0;
        }
        fprintf(stderr, "builder: segment of object %u cannot be sized\n", j.objd);
        return -1;
    }

    void out_addr(const FileAlloc &fa, const Segment &s, uint32_t &tsn, uint32_t &fno, uint32_t &blk)
    {
        tsn = fa.tsn;
        fno = fa.df.d.rfn;
        blk = fa.df.block_of(s.hdr);
    }

    int user_segments()
    {
        // User clusters with their member tables, in description order.
        for (DbCluster &c : db_.clusters) {
            if (c.system)
                continue;
            SegJob j;
            j.kind = c.seg_kind;
            j.objd = c.objd;
            j.so = c.seg;
            j.bo = c.opts;
            j.cluster = true;
            j.keys = c.keys;
            uint32_t tabn = 1;
            for (DbTable &t : db_.tables) {
                if (t.system || t.cluster != c.name)
                    continue;
                t.tabn = tabn++;
                ClusterMember m;
                m.rows = t.rows;
                m.key_of = t.row_keys;
                m.extra6 = (t.tab_flags & 0x800000) || (c.flags & 0x800000) || t.opts.extra6;
                j.members.push_back(m);
            }
            std::vector<std::vector<RowPlace>> mp;
            j.mplaces = &mp;
            FileAlloc *fa = file_for(c.tablespace);
            if (!fa || write_job(j, *fa))
                return -1;
            out_addr(*fa, j.seg, c.tsn, c.fno, c.blk);
            size_t m = 0;
            for (DbTable &t : db_.tables)
                if (!t.system && t.cluster == c.name) {
                    out_addr(*fa, j.seg, t.tsn, t.fno, t.blk);
                    if (m < mp.size())
                        t.places = mp[m++];
                }
        }
        for (DbTable &t : db_.tables) {
            if (t.system)
                continue;
            if (!t.cluster.empty()) {
                if (has_lob_refs(t)) {
                    fprintf(stderr, "builder: table %s: LOB values in a clustered table are not written\n",
                            t.name.c_str());
                    return -1;
                }
                continue;
            }
            const DbTablespace *ts = tablespace(t.tablespace);
            if (!ts)
                return -1;
            t.tsn = ts->tsn;
            // The LOB segments and indexes first: the rows store the locators.
            std::vector<std::vector<uint8_t>> locs;
            if (lob_segments(t, locs))
                return -1;
            if (t.parts.empty() && !t.no_segment) {
                if (heap_segment(t, t.tablespace, t.objd, with_locators(t.rows, locs), t.tsn, t.fno, t.blk,
                                 &t.places))
                    return -1;
            }
            for (DbPart &p : t.parts) {
                std::string tsname = p.tablespace.empty() ? t.tablespace : p.tablespace;
                const DbTablespace *pts = tablespace(tsname);
                if (!pts)
                    return -1;
                p.tsn = pts->tsn;
                if (!t.composite) {
                    if (heap_segment(t, tsname, p.objd, with_locators(p.rows, locs), p.tsn, p.fno, p.blk,
                                     &p.places))
                        return -1;
                    continue;
                }
                for (DbPart &s : p.subparts) {
                    std::string sts = s.tablespace.empty() ? tsname : s.tablespace;
                    if (heap_segment(t, sts, s.objd, with_locators(s.rows, locs), s.tsn, s.fno, s.blk,
                                     &s.places))
                        return -1;
                }
            }
        }
        return 0;
    }

    // ------------------------------------------------------ LOB segments
    // The row sets of a table in the order their segments are written.
    static std::vector<const std::vector<LogicalRow> *> row_sets(const DbTable &t)
    {
        std::vector<const std::vector<LogicalRow> *> out;
        if (t.parts.empty())
            out.push_back(&t.rows);
        for (const DbPart &p : t.parts) {
            if (!t.composite)
                out.push_back(&p.rows);
            for (const DbPart &s : p.subparts)
                out.push_back(&s.rows);
        }
        return out;
    }

    static bool has_lob_refs(const DbTable &t)
    {
        for (const std::vector<LogicalRow> *rows : row_sets(t))
            for (const LogicalRow &r : *rows)
                for (const Col &c : r.cols)
                    if (c.lob >= 0)
                        return true;
        return false;
    }

    static std::vector<LogicalRow> with_locators(const std::vector<LogicalRow> &rows,
                                                 const std::vector<std::vector<uint8_t>> &locs)
    {
        std::vector<LogicalRow> out = rows;
        for (LogicalRow &r : out)
            for (Col &c : r.cols)
                if (c.lob >= 0) {
                    c.data = locs[(size_t)c.lob];
                    c.null = false;
                    c.lob = -1;
                }
        return out;
    }

    // The values the rows name, per LOB of the table (in row order), after
    // checking that each reference is in a LOB column, names an existing
    // value and that no value is named twice.
    int lob_refs(const DbTable &t, std::vector<std::vector<size_t>> &per_lob)
    {
        std::map<int, size_t> lob_at;   // stored column position -> index into t.lobs
        for (size_t i = 0; i < t.lobs.size(); i++)
            for (const DbColumn &c : t.cols)
                if (c.name == t.lobs[i].column) {
                    if (c.type != 112 && c.type != 113) {
                        fprintf(stderr, "builder: table %s: LOB storage for column %s of type %d\n",
                                t.name.c_str(), c.name.c_str(), c.type);
                        return -1;
                    }
                    if (c.segcol > 0)
                        lob_at[c.segcol - 1] = i;
                }
        per_lob.assign(t.lobs.size(), {});
        std::vector<bool> used(t.lob_values.size(), false);
        for (const std::vector<LogicalRow> *rows : row_sets(t))
            for (size_t r = 0; r < rows->size(); r++)
                for (size_t p = 0; p < (*rows)[r].cols.size(); p++) {
                    int v = (*rows)[r].cols[p].lob;
                    if (v < 0)
                        continue;
                    auto it = lob_at.find((int)p);
                    if (it == lob_at.end()) {
                        fprintf(stderr, "builder: table %s row %zu: LOB value %d in stored column %zu, which "
                                        "is not a LOB column\n", t.name.c_str(), r, v, p + 1);
                        return -1;
                    }
                    if ((size_t)v >= t.lob_values.size()) {
                        fprintf(stderr, "builder: table %s row %zu: LOB value %d of %zu\n", t.name.c_str(), r, v,
                                t.lob_values.size());
                        return -1;
                    }
                    if (used[(size_t)v]) {
                        fprintf(stderr, "builder: table %s: LOB value %d named by two rows\n", t.name.c_str(), v);
                        return -1;
                    }
                    used[(size_t)v] = true;
                    per_lob[it->second].push_back((size_t)v);
                }
        return 0;
    }

    // Writes the LOB segment (its values) and the LOB index segment of every
    // LOB of the table; locs[i] gets the locator of t.lob_values[i].
    int lob_segments(DbTable &t, std::vector<std::vector<uint8_t>> &locs)
    {
        std::vector<std::vector<size_t>> per_lob;
        if (lob_refs(t, per_lob))
            return -1;
        locs.assign(t.lob_values.size(), {});
        for (size_t li = 0; li < t.lobs.size(); li++) {
            DbLob &l = t.lobs[li];
            const std::string tsname = l.shape.tablespace.empty() ? t.tablespace : l.shape.tablespace;
            const DbTablespace *ts = tablespace(tsname);
            FileAlloc *fa = ts ? file_for(tsname) : nullptr;
            if (!fa)
                return -1;
            const uint32_t bsz = fa->df.d.bsz;
            uint64_t need = l.shape.dead_entries ? (uint64_t)std::max(l.chunk, 1) : 0;
            for (size_t v : per_lob[li]) {
                const LobValue &lv = t.lob_values[v];
                need += is_secure(lv.form) ? secure_blocks_needed(lv, bsz) : basic_blocks_needed(lv, l.chunk, bsz);
            }
            if (need > 0x3FFFFF) {
                fprintf(stderr, "builder: LOB segment of %s column %s: %llu blocks\n", t.name.c_str(),
                        l.column.c_str(), (unsigned long long)need);
                return -1;
            }

            // The LOB segment: its data area one run of consecutive blocks,
            // so extents are made large enough for the header to list them all.
            SegJob j;
            j.kind = t.seg_kind;
            j.objd = l.lobj;
            const uint32_t cap = (uint32_t)std::max(header_capacity(j.kind, bsz), 1);
            j.so.ext_blocks = std::max<int>(t.seg.ext_blocks, (int)(((uint32_t)need + 3 + cap - 1) / cap));
            uint32_t end = plan(j, *fa, fa->next, (uint32_t)need);
            const std::vector<uint32_t> &data = j.seg.data;
            for (size_t i = 1; i < data.size(); i++)
                if (fa->df.block_of(data[i]) != fa->df.block_of(data[0]) + i) {
                    fprintf(stderr, "builder: LOB segment of object %u is not one run of blocks\n", l.lobj);
                    return -1;
                }
            if (df_grow(fa->df, end) || write_segment_meta(fa->df, j.seg))
                return -1;
            fa->next = end;
            out_addr(*fa, j.seg, l.tsn, l.fno, l.blk);

            LobSpace sp;
            sp.df = &fa->df;
            sp.objd = l.lobj;
            sp.next = data.empty() ? 0 : fa->df.block_of(data[0]);
            sp.end = sp.next + (uint32_t)data.size();
            std::vector<LobIndexEntry> entries;
            uint32_t stale = 0;
            if (l.shape.dead_entries && write_stale_chunk(sp, std::max(l.chunk, 1), stale))
                return -1;
            uint32_t k = 0;
            for (size_t v : per_lob[li]) {
                const LobValue &lv = t.lob_values[v];
                const LobId id = lob_id(l.lobj, k++);
                if (is_secure(lv.form) ? write_secure_value(sp, lv, id, l.shape, locs[v])
                                       : write_basic_value(sp, lv, l.chunk, id, l.shape, locs[v], entries))
                    return -1;
            }
            if (l.shape.dead_entries)
                add_dead_entries(entries, stale);

            // The LOB index, its root right after its segment header.
            FileAlloc *ia = file_for(tsname);
            if (!ia)
                return -1;
            SegJob ij;
            ij.kind = t.seg_kind;
            ij.objd = l.ind;
            ij.so = t.seg;
            uint32_t nblk = lob_index_blocks(entries.size(), l.shape, ia->df.d.bsz);
            uint32_t iend = plan(ij, *ia, ia->next, nblk);
            if (ij.seg.data.size() < nblk || ij.seg.data[0] != ij.seg.hdr + 1) {
                fprintf(stderr, "builder: LOB index of object %u: no room after its header\n", l.ind);
                return -1;
            }
            std::vector<uint32_t> iblocks;
            for (uint32_t i = 0; i < nblk; i++)
                iblocks.push_back(ia->df.block_of(ij.seg.data[i]));
            if (df_grow(ia->df, iend) || write_segment_meta(ia->df, ij.seg) ||
                write_lob_index(ia->df, iblocks, l.ind, entries, l.shape, ij.kind == 0x23))
                return -1;
            ia->next = iend;
            uint32_t itsn = 0;
            out_addr(*ia, ij.seg, itsn, l.ind_fno, l.ind_blk);
            for (DbIndex &x : db_.indexes)
                if (x.objn == l.ind) {
                    x.tsn = itsn;
                    x.fno = l.ind_fno;
                    x.blk = l.ind_blk;
                }
        }
        return 0;
    }

    int heap_segment(const DbTable &t, const std::string &tsname, uint32_t objd, const std::vector<LogicalRow> &rows,
                     uint32_t &tsn, uint32_t &fno, uint32_t &blk, std::vector<RowPlace> *places = nullptr)
    {
        SegJob j;
        j.kind = t.seg_kind;
        j.objd = objd;
        j.so = t.seg;
        j.bo = t.opts;
        j.bo.extra6 = j.bo.extra6 || (t.tab_flags & 0x800000);
        j.rows = rows;
        j.places = places;
        FileAlloc *fa = file_for(tsname);
        if (!fa || write_job(j, *fa))
            return -1;
        out_addr(*fa, j.seg, tsn, fno, blk);
        return 0;
    }

    // ------------------------------------------------------ dictionary rows
    // A dictionary table by name; the table list no longer changes once
    // the rows are built, so the places are kept.
    DbTable &systab(const char *name)
    {
        if (systabs_.empty())
            for (DbTable &t : db_.tables)
                if (t.system)
                    systabs_[t.name] = &t;
        auto it = systabs_.find(name);
        if (it == systabs_.end()) {
            fprintf(stderr, "builder: dictionary table %s missing\n", name);
            abort();
        }
        return *it->second;
    }

    LogicalRow shaped(std::vector<Col> cols, size_t i)
    {
        LogicalRow r;
        r.cols = std::move(cols);
        int n = db_.shape.migrate_every;
        if (n > 0 && i % (size_t)n == (size_t)n - 1)
            r.layout = RowLayout::Migrated;
        return r;
    }

    static LogicalRow plain(std::vector<Col> cols)
    {
        LogicalRow r;
        r.cols = std::move(cols);
        return r;
    }

    // The stored part of a clustered dictionary row: the key columns left out.
    static std::vector<Col> without_key(const DbTable &t, std::vector<Col> full)
    {
        size_t n = 0;
        for (size_t i = 0; i < full.size(); i++) {
            bool key = std::find(t.cluster_cols.begin(), t.cluster_cols.end(), t.cols[i].name) != t.cluster_cols.end();
            // Columns ahead of the first key column stay where they are: a
            // vector moved onto itself would be left empty.
            if (!key && n++ != i)
                full[n - 1] = std::move(full[i]);
        }
        full.resize(n);
        return full;
    }

    std::vector<Col> user_row(const DbUser &u)
    {
        const DbTable &t = systab("USER$");
        const DbTablespace *d = tablespace(u.dts), *tt = tablespace(u.tts);
        RowB r(t.cols);
        r.n("USER#", u.uid).s("NAME", u.name).n("TYPE#", u.type);
        if (u.type == 1) {
            char pw[17];
            uint32_t h = 2166136261u;
            for (char ch : u.name)
                h = (h ^ (uint8_t)ch) * 16777619u;
            snprintf(pw, sizeof pw, "%08X%08X", h, h * 2654435761u);
            r.s("PASSWORD", pw);
        }
        r.n("DATATS#", d ? d->tsn : 0).n("TEMPTS#", tt ? tt->tsn : 0).d("CTIME").d("PTIME");
        r.n("RESOURCE$", 0).n("DEFROLE", 1).n("ASTATUS", u.astatus).n("LCOUNT", 0);
        if (u.type == 1)
            r.s("DEFSCHCLASS", "DEFAULT_CONSUMER_GROUP");
        r.n("SPARE1", 0);
        return r.cols();
    }

    std::vector<Col> ts_row(const DbTablespace &ts)
    {
        RowB r(systab("TS$").cols);
        r.n("TS#", ts.tsn).s("NAME", ts.name).n("OWNER#", 0).n("ONLINE$", 1).n("CONTENTS$", ts.contents);
        r.n("BLOCKSIZE", ts.bsz ? ts.bsz : db_.bsz).n("INC#", 1).n("SCNWRP", 0).n("SCNBAS", 0).n("DFLMINEXT", 1);
        r.n("DFLMAXEXT", 2147483645).n("DFLINIT", 8).n("DFLINCR", 8).n("DFLMINLEN", 0).n("DFLEXTPCT", 0);
        r.n("DFLOGGING", 1).n("AFFSTRENGTH", 0).n("BITMAPPED", 8).n("PLUGGED", 0).n("DIRECTALLOWED", 1);
        r.n("FLAGS", ts.contents ? 0x1 : 0x829).n("SPARE1", 0);
        return r.cols();
    }

    std::vector<Col> obj_row(const DbObject &o)
    {
        RowB r(systab("OBJ$").cols);
        r.n("OBJ#", o.objn);
        if (!o.null_objd)
            r.n("DATAOBJ#", o.objd);
        r.n("OWNER#", o.owner).s("NAME", o.name);
        r.n("NAMESPACE", o.type == 1 ? 4 : o.type == 21 ? 8 : 1);
        if (!o.subname.empty())
            r.s("SUBNAME", o.subname);
        r.n("TYPE#", o.type).d("CTIME").d("MTIME").d("STIME").n("STATUS", 1).n("FLAGS", o.flags);
        r.n("SPARE1", 6).n("SPARE2", 1).n("SPARE3", o.owner);
        return r.cols();
    }

    std::vector<Col> tab_row(DbTable &t)
    {
        RowB r(systab("TAB$").cols);
        uint32_t prop = t.property;
        if (!t.cluster.empty())
            prop |= 0x400;
        if (!t.parts.empty())
            prop |= 0x20;
        if (!t.lobs.empty())
            prop |= 0x800;
        t.prop_out = prop;
        r.n("OBJ#", t.objn);
        if (t.parts.empty())
            r.n("DATAOBJ#", t.objd);
        r.n("TS#", t.tsn).n("FILE#", t.fno).n("BLOCK#", t.blk);
        if (!t.cluster.empty())
            r.n("BOBJ#", cluster(t.cluster)->objn).n("TAB#", t.tabn);
        // COLS counts the columns users see: hidden and unused ones are only
        // in INTCOLS (and KERNELCOLS while stored).
        int64_t visible = std::count_if(t.cols.begin(), t.cols.end(),
                                        [](const DbColumn &c) { return !(c.property & (0x20 | 0x4000 | 0x8000)); });
        r.n("COLS", visible);
        if (!t.cluster.empty())
            r.n("CLUCOLS", (int64_t)t.cluster_cols.size());
        r.n("PCTFREE$", t.opts.pctfree).n("PCTUSED$", 40).n("INITRANS", 1).n("MAXTRANS", 255);
        r.n("FLAGS", t.tab_flags).s("AUDIT$", std::string(38, '-'));
        r.n("INTCOLS", (int64_t)t.cols.size()).n("KERNELCOLS", (int64_t)t.cols.size());
        r.n("PROPERTY", prop).n("TRIGFLAG", 0).n("SPARE1", 736);
        return r.cols();
    }

    std::vector<Col> clu_row(const DbCluster &c)
    {
        RowB r(systab("CLU$").cols);
        r.n("OBJ#", c.objn).n("DATAOBJ#", c.objd).n("TS#", c.tsn).n("FILE#", c.fno).n("BLOCK#", c.blk);
        r.n("COLS", (int64_t)c.key.size()).n("PCTFREE$", 10).n("PCTUSED$", 40).n("INITRANS", 2);
        r.n("MAXTRANS", 255);
        if (c.system)
            r.n("SIZE$", 800);
        r.n("HASHKEYS", 0).n("FLAGS", c.flags).n("SPARE1", 0);
        return r.cols();
    }

    std::vector<Col> col_row(uint32_t objn, const DbColumn &c)
    {
        RowB r(systab("COL$").cols);
        int len = type_length(c), form = charsetform_of(c);
        r.n("OBJ#", objn).n("COL#", c.colno).n("SEGCOL#", c.segcol).n("SEGCOLLENGTH", len).n("OFFSET", 0);
        r.s("NAME", c.name).n("TYPE#", c.type).n("LENGTH", len).n("FIXEDSTORAGE", 0);
        if (c.precision >= 0)
            r.n("PRECISION#", c.precision);
        if (c.scale >= 0)
            r.n("SCALE", c.scale);
        r.n("NULL$", c.nullable ? 0 : 1);
        if (!c.default_text.empty())
            r.n("DEFLENGTH", (int64_t)c.default_text.size()).s("DEFAULT$", c.default_text);
        r.n("INTCOL#", c.colno).n("PROPERTY", c.property);
        r.n("CHARSETID", form == 2 ? 2000 : form == 1 ? 873 : 0).n("CHARSETFORM", form);
        r.n("SPARE1", 0).n("SPARE2", 0).n("SPARE3", is_char_type(c.type) ? len : 0);
        return r.cols();
    }

    std::vector<Col> ind_row(const DbIndex &x)
    {
        RowB r(systab("IND$").cols);
        r.n("OBJ#", x.objn).n("DATAOBJ#", x.objn).n("TS#", x.tsn).n("FILE#", x.fno).n("BLOCK#", x.blk);
        r.n("BO#", x.bo).n("INDMETHOD#", 0).n("COLS", 1).n("PCTFREE$", 10).n("INITRANS", 2).n("MAXTRANS", 255);
        r.n("TYPE#", x.type).n("FLAGS", x.type == 8 ? 0x802 : 0).n("PROPERTY", x.type == 1 ? 0 : 1);
        r.n("INTCOLS", 1).n("SPARE1", 0);
        return r.cols();
    }

    std::vector<Col> lob_row(const DbTable &t, const DbLob &l)
    {
        RowB r(systab("LOB$").cols);
        r.n("OBJ#", t.objn).n("COL#", l.colno).n("INTCOL#", l.colno).n("LOBJ#", l.lobj).n("PART#", 0);
        r.n("IND#", l.ind).n("TS#", l.tsn).n("FILE#", l.fno).n("BLOCK#", l.blk).n("CHUNK", l.chunk);
        r.n("PCTVERSION$", 10).n("FLAGS", l.flags).n("PROPERTY", l.property).n("RETENTION", 900);
        r.n("FREEPOOLS", 0);
        return r.cols();
    }

    // C_OBJ#: for every object number, in ascending order, its TAB$, CLU$,
    // IND$ (by BO#), COL$ and LOB$ rows.
    void obj_cluster(SegJob &j)
    {
        std::map<uint32_t, size_t> keyix;
        std::vector<uint32_t> objs;
        for (const DbTable &t : db_.tables)
            objs.push_back(t.objn);
        for (const DbCluster &c : db_.clusters)
            objs.push_back(c.objn);
        for (const DbIndex &x : db_.indexes)
            objs.push_back(x.bo);
        std::sort(objs.begin(), objs.end());
        objs.erase(std::unique(objs.begin(), objs.end()), objs.end());
        for (uint32_t o : objs) {
            keyix[o] = j.keys.size();
            j.keys.push_back({col_num(o)});
        }
        j.members.assign(6, ClusterMember{});
        auto add = [&](size_t m, uint32_t key, const char *tab, std::vector<Col> full, size_t i) {
            ClusterMember &cm = j.members[m];
            cm.rows.push_back(shaped(without_key(systab(tab), std::move(full)), i));
            cm.key_of.push_back(keyix[key]);
        };
        size_t nt = 0, nc = 0;
        for (DbTable &t : db_.tables) {
            add(0, t.objn, "TAB$", tab_row(t), nt++);
            for (const DbColumn &c : t.cols) {
                add(4, t.objn, "COL$", col_row(t.objn, c), nc++);
                if (db_.shape.free_slots && nc % 20 == 0) {
                    LogicalRow fr;
                    fr.layout = RowLayout::FreeSlot;
                    j.members[4].rows.push_back(fr);
                    j.members[4].key_of.push_back(keyix[t.objn]);
                }
            }
            if (db_.shape.deleted_rows && !t.system && t.objn == first_user_table()) {
                // A column dropped long ago: its row is still in the block.
                DbColumn old;
                old.name = "SYS_C00009_DROPPED$";
                old.type = 1;
                old.length = 20;
                old.colno = (int)t.cols.size() + 1;
                old.segcol = old.colno;
                LogicalRow del = plain(without_key(systab("COL$"), col_row(t.objn, old)));
                del.layout = RowLayout::Deleted;
                j.members[4].rows.push_back(del);
                j.members[4].key_of.push_back(keyix[t.objn]);
                LogicalRow delt = plain(without_key(systab("TAB$"), tab_row(t)));
                delt.layout = RowLayout::Deleted;
                j.members[0].rows.push_back(delt);
                j.members[0].key_of.push_back(keyix[t.objn]);
            }
            for (const DbLob &l : t.lobs)
                add(5, t.objn, "LOB$", lob_row(t, l), 0);
        }
        for (const DbCluster &c : db_.clusters) {
            add(1, c.objn, "CLU$", clu_row(c), 0);
            for (const DbColumn &k : c.key)
                add(4, c.objn, "COL$", col_row(c.objn, k), nc++);
        }
        for (const DbIndex &x : db_.indexes)
            add(2, x.bo, "IND$", ind_row(x), 0);
    }

    uint32_t first_user_table() const
    {
        for (const DbTable &t : db_.tables)
            if (!t.system)
                return t.objn;
        return 0;
    }

    std::vector<LogicalRow> obj_rows()
    {
        std::vector<LogicalRow> rows;
        for (size_t i = 0; i < db_.objects.size(); i++) {
            rows.push_back(shaped(obj_row(db_.objects[i]), i));
            if (db_.shape.deleted_rows && i % 10 == 9) {
                DbObject gone = db_.objects[i];
                gone.objn = 900000 + (uint32_t)i;
                gone.name = "BIN$DROPPED" + std::to_string(i);
                LogicalRow d = plain(obj_row(gone));
                d.layout = RowLayout::Deleted;
                rows.push_back(d);
            }
            if (db_.shape.free_slots && i % 15 == 14) {
                LogicalRow f;
                f.layout = RowLayout::FreeSlot;
                rows.push_back(f);
            }
        }
        return rows;
    }

    std::vector<LogicalRow> part_rows()
    {
        std::vector<LogicalRow> rows;
        for (const DbTable &t : db_.tables)
            if (!t.composite)
                for (size_t i = 0; i < t.parts.size(); i++) {
                    const DbPart &p = t.parts[i];
                    RowB r(systab("TABPART$").cols);
                    r.n("OBJ#", p.objn).n("DATAOBJ#", p.objd).n("BO#", t.objn).n("PART#", (int64_t)(i + 1) * 10);
                    r.n("HIBOUNDLEN", (int64_t)p.hibound.size()).s("HIBOUNDVAL", p.hibound);
                    r.n("TS#", p.tsn).n("FILE#", p.fno).n("BLOCK#", p.blk).n("PCTFREE$", 10).n("PCTUSED$", 40);
                    r.n("INITRANS", 1).n("MAXTRANS", 255).n("FLAGS", 0);
                    rows.push_back(plain(r.cols()));
                }
        return rows;
    }

    std::vector<LogicalRow> compart_rows()
    {
        std::vector<LogicalRow> rows;
        for (const DbTable &t : db_.tables)
            if (t.composite)
                for (size_t i = 0; i < t.parts.size(); i++) {
                    const DbPart &p = t.parts[i];
                    RowB r(systab("TABCOMPART$").cols);
                    r.n("OBJ#", p.objn).n("BO#", t.objn).n("PART#", (int64_t)(i + 1) * 10);
                    r.n("HIBOUNDLEN", (int64_t)p.hibound.size()).s("HIBOUNDVAL", p.hibound);
                    r.n("SUBPARTCNT", (int64_t)p.subparts.size()).n("FLAGS", 0).n("DEFTS#", p.tsn);
                    r.n("DEFPCTFREE", 10).n("DEFPCTUSED", 40).n("DEFINITRANS", 1).n("DEFMAXTRANS", 255);
                    r.n("DEFLISTS", 0).n("DEFGROUPS", 0).n("DEFLOGGING", 0).n("DEFBUFPOOL", 0).n("DEFCOMPRESS", 0);
                    rows.push_back(plain(r.cols()));
                }
        return rows;
    }

    std::vector<LogicalRow> subpart_rows()
    {
        std::vector<LogicalRow> rows;
        for (const DbTable &t : db_.tables)
            if (t.composite)
                for (const DbPart &p : t.parts)
                    for (size_t i = 0; i < p.subparts.size(); i++) {
                        const DbPart &s = p.subparts[i];
                        RowB r(systab("TABSUBPART$").cols);
                        r.n("OBJ#", s.objn).n("DATAOBJ#", s.objd).n("POBJ#", p.objn).n("SUBPART#", (int64_t)i);
                        r.n("FLAGS", 0).n("TS#", s.tsn).n("FILE#", s.fno).n("BLOCK#", s.blk).n("PCTFREE$", 10);
                        r.n("PCTUSED$", 40).n("INITRANS", 1).n("MAXTRANS", 255).n("HIBOUNDLEN", 0);
                        rows.push_back(plain(r.cols()));
                    }
        return rows;
    }

    std::vector<LogicalRow> props_rows()
    {
        std::vector<LogicalRow> rows;
        for (const DbProp &p : db_.props) {
            RowB r(systab("PROPS$").cols);
            r.s("NAME", p.name);
            if (!p.null_value)
                r.s("VALUE$", p.value);
            if (!p.null_comment)
                r.s("COMMENT$", p.comment);
            rows.push_back(plain(r.cols()));
        }
        return rows;
    }

    std::vector<LogicalRow> file_rows()
    {
        std::vector<LogicalRow> rows;
        for (FileAlloc *fa : order_) {
            RowB r(systab("FILE$").cols);
            r.n("FILE#", fa->desc->fno).n("STATUS$", 2).n("BLOCKS", fa->df.d.blocks).n("TS#", fa->tsn);
            r.n("RELFILE#", fa->df.d.rfn).n("MAXEXTEND", 0).n("INC", 0).n("CRSCNWRP", 0).n("CRSCNBAS", 7);
            rows.push_back(plain(r.cols()));
        }
        return rows;
    }

    // ------------------------------------------------------ bootstrap rows
    std::string columns_sql(const std::vector<DbColumn> &cols)
    {
        std::string s;
        for (const DbColumn &c : cols) {
            if (!s.empty())
                s += ",";
            s += "\"" + c.name + "\" " + column_type_sql(c) + (c.nullable ? "" : " NOT NULL");
        }
        return s;
    }

    std::string extents_sql(const SysObject &o, uint32_t blk)
    {
        return std::string(" STORAGE (  ") + o.storage + " OBJNO " + std::to_string(o.objn) + " EXTENTS (FILE 1 BLOCK " +
               std::to_string(blk) + "))" + o.trailer;
    }

    std::string create_sql(const SysObject &o, uint32_t blk)
    {
        std::string key;
        for (const char *k : o.key)
            key += (key.empty() ? "" : ",") + std::string(k);
        if (o.type == 3)
            return std::string("CREATE CLUSTER ") + o.name + "(" + columns_sql(parse_columns(o.columns)) + ") " +
                   o.attrs + extents_sql(o, blk);
        if (o.type == 1)
            return std::string(std::string(o.parent) == "OBJ$" ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") + o.name +
                   " ON " + o.parent + "(" + key + ") " + o.attrs + extents_sql(o, blk);
        std::string head = std::string("CREATE TABLE ") + o.name + "(" + columns_sql(parse_columns(o.columns)) + ")";
        if (*o.parent)
            return head + " STORAGE (  OBJNO " + std::to_string(o.objn) + " TABNO " + std::to_string(o.tabno) +
                   ") CLUSTER " + o.parent + "(" + key + ")";
        return head + " " + o.attrs + extents_sql(o, blk);
    }

    std::vector<LogicalRow> bootstrap_rows(const std::map<std::string, uint32_t> &blocks, uint32_t undo_blk)
    {
        db_.bootstrap.clear();
        auto add = [&](int line, int objn, const std::string &text, bool deleted) {
            db_.bootstrap.push_back(BootRow{line, objn, text, deleted});
        };
        add(-1, -1, "8.0.00.00.00", false);
        add(0, 0,
            "CREATE ROLLBACK SEGMENT SYSTEM STORAGE (  INITIAL 112K NEXT 56K MINEXTENTS 1 MAXEXTENTS 32765 OBJNO 0 "
            "EXTENTS (FILE 1 BLOCK " + std::to_string(undo_blk) + "))",
            false);
        std::vector<const SysObject *> objs;
        for (const SysObject &o : system_objects())
            if (o.line >= 0)
                objs.push_back(&o);
        std::sort(objs.begin(), objs.end(), [](const SysObject *a, const SysObject *b) { return a->line < b->line; });
        for (const SysObject *o : objs) {
            std::string n = o->name;
            uint32_t blk = blocks.count(n) ? blocks.at(n) : 0;
            if (db_.shape.deleted_rows && (n == "USER$" || n == "OBJ$")) {
                // Stale rows of an older layout, deleted since: their storage
                // clause names a block that holds no segment.
                SysObject stale = *o;
                stale.parent = "";
                stale.attrs = "PCTFREE 10 PCTUSED 40 INITRANS 1 MAXTRANS 255";
                stale.storage = "INITIAL 16K NEXT 1024K MINEXTENTS 1 MAXEXTENTS 2147483645 PCTINCREASE 0";
                add(o->line, (int)o->objn, create_sql(stale, n == "USER$" ? 5 : 6), true);
            }
            add(o->line, (int)o->objn, create_sql(*o, blk), false);
        }
        std::vector<LogicalRow> rows;
        const DbTable &bt = systab("BOOTSTRAP$");
        for (const BootRow &b : db_.bootstrap) {
            RowB r(bt.cols);
            r.n("LINE#", b.line).n("OBJ#", b.objn).s("SQL_TEXT", b.text);
            LogicalRow lr = plain(r.cols());
            if (b.deleted)
                lr.layout = RowLayout::Deleted;
            rows.push_back(lr);
        }
        return rows;
    }

    // ------------------------------------------------------ dictionary
    int dictionary()
    {
        // The segments of the SYSTEM datafile, in the order they are laid out.
        struct Dseg {
            std::string name;
            SegJob job;
        };
        std::vector<Dseg> segs;
        auto seg = [&](const std::string &name, uint8_t kind, uint32_t objd) -> SegJob & {
            segs.push_back(Dseg{name, SegJob{}});
            SegJob &j = segs.back().job;
            j.kind = kind;
            j.objd = objd;
            j.so.ext_blocks = db_.shape.ext_blocks;
            j.so.hdr_max = db_.shape.hdr_max;
            j.so.map_max = db_.shape.map_max;
            return j;
        };
        const uint8_t own = db_.shape.own_kind;
        segs.reserve(32);
        seg("SYSTEM UNDO", 0x0E, 0).raw_type = 0x0E;
        for (const SysObject &o : system_objects())
            if (o.type == 3 || o.type == 1 || (o.type == 2 && !*o.parent)) {
                const DbTable *t = nullptr;
                for (const DbTable &x : db_.tables)
                    if (x.system && x.name == o.name)
                        t = &x;
                SegJob &j = seg(o.name, t ? t->seg_kind : own, o.objn);
                j.cluster = o.type == 3;
            }

        auto job = [&](const std::string &name) -> SegJob & {
            for (Dseg &d : segs)
                if (d.name == name)
                    return d.job;
            abort();
        };
        auto fill = [&](const std::map<std::string, uint32_t> &blocks, uint32_t undo) {
            // Segment addresses first: TAB$, CLU$ and the bootstrap rows name them.
            for (DbCluster &c : db_.clusters)
                if (c.system) {
                    c.tsn = 0;
                    c.fno = 1;
                    c.blk = blocks.at(c.name);
                }
            for (DbTable &t : db_.tables)
                if (t.system) {
                    t.tsn = 0;
                    t.fno = 1;
                    t.blk = blocks.at(t.cluster.empty() ? t.name : t.cluster);
                }
            for (DbIndex &x : db_.indexes)
                if (x.owner == "SYS" && x.type != 8) {
                    x.tsn = 0;
                    x.fno = 1;
                    x.blk = blocks.at(x.name);
                }
            for (Dseg &d : segs) {
                d.job.rows.clear();
                d.job.keys.clear();
                d.job.members.clear();
            }
            std::vector<DbUser> users = db_.users;
            std::sort(users.begin(), users.end(), [](const DbUser &a, const DbUser &b) { return a.uid < b.uid; });
            SegJob &cu = job("C_USER#");
            cu.members.assign(2, ClusterMember{});
            for (size_t i = 0; i < users.size(); i++) {
                cu.keys.push_back({col_num(users[i].uid)});
                cu.members[0].rows.push_back(shaped(without_key(systab("USER$"), user_row(users[i])), i));
                cu.members[0].key_of.push_back(i);
            }
            SegJob &ct = job("C_TS#");
            ct.members.assign(2, ClusterMember{});
            std::vector<const DbTablespace *> tss;
            for (const DbTablespace &t : db_.tablespaces)
                tss.push_back(&t);
            std::sort(tss.begin(), tss.end(), [](auto *a, auto *b) { return a->tsn < b->tsn; });
            for (size_t i = 0; i < tss.size(); i++) {
                ct.keys.push_back({col_num(tss[i]->tsn)});
                ct.members[0].rows.push_back(plain(without_key(systab("TS$"), ts_row(*tss[i]))));
                ct.members[0].key_of.push_back(i);
            }
            job("C_FILE#_BLOCK#").members.assign(2, ClusterMember{});
            obj_cluster(job("C_OBJ#"));
            job("OBJ$").rows = obj_rows();
            job("TABPART$").rows = part_rows();
            job("TABCOMPART$").rows = compart_rows();
            job("TABSUBPART$").rows = subpart_rows();
            job("PROPS$").rows = props_rows();
            job("FILE$").rows = file_rows();
            RowB u(systab("UNDO$").cols);
            u.n("US#", 0).s("NAME", "SYSTEM").n("USER#", 1).n("FILE#", 1).n("BLOCK#", undo).n("SCNBAS", 0);
            u.n("SCNWRP", 0).n("XACTSQN", 0).n("UNDOSQN", 0).n("INST#", 0).n("STATUS$", 3).n("TS#", 0);
            job("UNDO$").rows = {plain(u.cols())};
            job("BOOTSTRAP$").rows = bootstrap_rows(blocks, undo);
        };

        // Size from rows built with placeholder addresses, then plan, build
        // the real rows and check that they fit; grow and retry when not.
        std::map<std::string, uint32_t> blocks;
        for (Dseg &d : segs)
            blocks[d.name] = 0;
        fill(blocks, 0);
        std::vector<uint32_t> want;
        for (Dseg &d : segs)
            want.push_back(estimate(d.job, sys_->df.d.bsz) + 1);
        const uint32_t start = sys_->next;
        for (int tries = 0; tries < 24; tries++) {
            uint32_t at = start;
            for (size_t i = 0; i < segs.size(); i++) {
                at = plan(segs[i].job, *sys_, at, want[i]);
                blocks[segs[i].name] = sys_->df.block_of(segs[i].job.seg.hdr);
            }
            if (df_grow(sys_->df, at))
                return -1;
            fill(blocks, blocks["SYSTEM UNDO"]);
            bool fits = true;
            for (size_t i = 0; i < segs.size(); i++) {
                int rc = pack(segs[i].job, *sys_, true);
                if (rc == -2) {
                    want[i] = want[i] * 2 + 1;
                    fits = false;
                } else if (rc < 0) {
                    return -1;
                }
            }
            if (!fits)
                continue;
            for (Dseg &d : segs)
                if (pack(d.job, *sys_, false) < 0)
                    return -1;
            sys_->next = at;
            db_.rootdba = job("BOOTSTRAP$").seg.hdr;
            sys_->df.d.rootdba = db_.rootdba;
            return 0;
        }
        fprintf(stderr, "builder: the dictionary segments cannot be sized\n");
        return -1;
    }

    Database &db_;
    std::string dir_;
    std::vector<std::unique_ptr<FileAlloc>> files_;
    std::vector<FileAlloc *> order_;
    FileAlloc *sys_ = nullptr;
    std::map<std::string, size_t> turn_;
    std::map<std::string, DbTable *> systabs_;
};

} // namespace

int build_database(Database &db, const std::string &dir)
{
    Builder b(db, dir);
    return b.run();
}

} // namespace kb
