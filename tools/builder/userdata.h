// kbuild user data: the tables of a user tablespace described logically
// (columns, rows, how they are stored) and written into a datafile segment by
// segment, so that tests and benchmarks know where every table's segments lie
// and which rows they hold. Layered on the heap and cluster writers; knows
// nothing of the reader's code.
#pragma once

#include "kbuild.h"

namespace kb {

// One column as the dictionary describes it.
struct UserColumn {
    std::string name;
    uint32_t type = 1;        // Oracle type code (1 VARCHAR2, 2 NUMBER, 8 LONG, 12 DATE, 24 LONG RAW, ...)
    uint32_t len = 0;         // declared length
    uint32_t colflag = 0;     // dictionary COL flag bits: 0x1/0x2/0x4 hidden, 0x1000 national, 0x10000 key
    bool stored = true;       // false: the column has no segment column (sorts last)
};

// One segment of a table (the table's own, or one partition or subpartition)
// and the logical rows it holds.
struct UserSegment {
    uint32_t objn = 0;        // object number of the partition (0 for the table's own segment)
    uint32_t objd = 0;        // data object number written into the data blocks
    uint32_t parent = 0;      // composite partition of a subpartition
    uint8_t kind = 0x10;      // segment header kind
    std::vector<uint32_t> extents = {8};
    std::vector<LogicalRow> rows;
    Segment seg;              // filled by write_user_table
    std::vector<RowPlace> places;
};

struct UserTable {
    std::string name;
    uint32_t objn = 0;
    uint32_t objd = 0;
    uint32_t obj_flag = 0;    // OBJ$ FLAGS: 0x80 dropped, 0x2 temporary
    uint32_t tab_flag = 0;    // dictionary TAB flag bits the test wants (0x20 partitioned, ...)
    std::vector<UserColumn> cols;
    std::vector<UserSegment> segs;       // one for a heap table; partitions or subpartitions in order
    std::vector<uint32_t> composite;     // object numbers of the composite partitions
    BlockOpts opts;
};

// Plans and writes every segment of the table into df from block *next on,
// advancing *next past them. Returns 0 or -1.
int write_user_table(Datafile &df, uint32_t *next, UserTable &t);

// Two or more tables in one cluster: key rows and the rows of each member,
// grouped by key. Member m is table m + 1 of the cluster's blocks.
struct UserCluster {
    uint32_t objn = 0;
    uint32_t objd = 0;
    std::vector<UserColumn> key_cols;
    std::vector<std::vector<Col>> keys;
    std::vector<UserTable> members;      // cols include the key columns (colflag 0x10000)
    std::vector<ClusterMember> rows;     // rows of each member (non-key columns only)
    std::vector<uint32_t> extents = {8};
    BlockOpts opts;
    Segment seg;
    std::vector<std::vector<RowPlace>> places;
};
int write_user_cluster(Datafile &df, uint32_t *next, UserCluster &c);

// n bytes of a repeatable pattern (for long values).
std::vector<uint8_t> pattern_bytes(size_t n, uint32_t seed);

} // namespace kb
