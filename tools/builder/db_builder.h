// The database writer's internal interface: the Builder that turns a
// Database description into datafiles, its helpers and the state it keeps
// while writing. Its procedures are spread by family over db_files.cpp
// (datafiles, the dictionary's own objects, object numbers), db_segments.cpp
// (sizing, planning and writing segments), db_lobs.cpp (LOB segments and
// their indexes), db_dictrows.cpp (the rows of the dictionary tables) and
// db_dictionary.cpp (the bootstrap rows and the SYSTEM datafile's segments).
#pragma once

#include "dictdefs.h"
#include "lobs.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kb::detail {

inline constexpr uint32_t FIRST_USER_OBJN = 73000;

inline bool is_char_type(int t) { return t == 1 || t == 96 || t == 8 || t == 112; }

inline int type_length(const DbColumn &c)
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

inline int charsetform_of(const DbColumn &c)
{
    return c.charsetform >= 0 ? c.charsetform : is_char_type(c.type) ? 1 : 0;
}

// Builds one dictionary row over a table's columns by name; unset columns
// are NULL. Lookups start where the previous one ended, since rows are
// filled in column order.
class RowB {
  public:
    explicit RowB(const std::vector<DbColumn> &cols) : cols_(cols), v_(cols.size(), col_null()) {}
    RowB(const std::vector<DbColumn> &cols, std::vector<Col> init) : cols_(cols), v_(std::move(init)) {}
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
    int run();

  private:
    // files
    int open_files();
    const DbTablespace *tablespace(const std::string &name);
    FileAlloc *file_for(const std::string &tsname);
    uint32_t uid(const std::string &name, bool *ok);

    // system objects
    bool wanted(const SysObject &o) const;
    int add_system_objects();
    DbCluster *cluster(const std::string &name);
    int resolve();

    // object numbers
    void add_object(uint32_t objn, uint32_t objd, uint32_t owner, const std::string &name, const std::string &sub,
                    int type, uint32_t flags, bool null_objd);
    int assign_numbers();

    // segment writing
    static size_t row_bytes(const std::vector<LogicalRow> &rows);
    uint32_t estimate(const SegJob &j, uint32_t bsz) const;
    uint32_t plan(SegJob &j, FileAlloc &fa, uint32_t start, uint32_t data);
    int pack(SegJob &j, FileAlloc &fa, bool dry);
    int write_job(SegJob &j, FileAlloc &fa);
    void out_addr(const FileAlloc &fa, const Segment &s, uint32_t &tsn, uint32_t &fno, uint32_t &blk);
    int user_segments();

    // LOB segments
    static std::vector<const std::vector<LogicalRow> *> row_sets(const DbTable &t);
    static bool has_lob_refs(const DbTable &t);
    static std::vector<LogicalRow> with_locators(const std::vector<LogicalRow> &rows,
                                                 const std::vector<std::vector<uint8_t>> &locs);
    int lob_refs(const DbTable &t, std::vector<std::vector<size_t>> &per_lob);
    int lob_segments(DbTable &t, std::vector<std::vector<uint8_t>> &locs);
    int heap_segment(const DbTable &t, const DbPart *p, const std::string &tsname, const std::vector<LogicalRow> &rows,
                     uint32_t &tsn, uint32_t &fno, uint32_t &blk, std::vector<RowPlace> *places, Segment *segment);

    // dictionary rows
    DbTable &systab(const char *name);
    LogicalRow shaped(std::vector<Col> cols, size_t i);
    static LogicalRow plain(std::vector<Col> cols);
    static LogicalRow stored(LogicalRow r, const RowStore &s);
    LogicalRow dict_row(const DictRow &d);
    int dict_rows_known();
    static std::vector<Col> without_key(const DbTable &t, std::vector<Col> full);
    std::vector<Col> user_row(const DbUser &u);
    std::vector<Col> ts_row(const DbTablespace &ts);
    std::vector<Col> obj_row(const DbObject &o);
    std::vector<Col> tab_row(DbTable &t);
    std::vector<Col> clu_row(const DbCluster &c);
    std::vector<Col> col_row(uint32_t objn, const DbColumn &c);
    std::vector<Col> ind_row(const DbIndex &x);
    std::vector<Col> lob_row(const DbTable &t, const DbLob &l);
    void obj_cluster(SegJob &j);
    uint32_t first_user_table() const;
    std::vector<LogicalRow> obj_rows();
    std::vector<LogicalRow> part_rows();
    std::vector<LogicalRow> compart_rows();
    std::vector<LogicalRow> subpart_rows();
    std::vector<LogicalRow> props_rows();
    std::vector<LogicalRow> recyclebin_rows();
    std::vector<LogicalRow> file_rows();

    // bootstrap rows
    std::string columns_sql(const std::vector<DbColumn> &cols);
    std::string extents_sql(const SysObject &o, uint32_t blk);
    std::string create_sql(const SysObject &o, uint32_t blk);
    std::vector<LogicalRow> bootstrap_rows(const std::map<std::string, uint32_t> &blocks, uint32_t undo_blk);

    // dictionary
    int dictionary();

    Database &db_;
    std::string dir_;
    std::vector<std::unique_ptr<FileAlloc>> files_;
    std::vector<FileAlloc *> order_;
    FileAlloc *sys_ = nullptr;
    std::map<std::string, size_t> turn_;
    std::map<std::string, DbTable *> systabs_;
};

} // namespace kb::detail
