// The dictionary sorts must leave every file in exactly the order of a plain
// selection sort (first smallest exchanged forward), equal keys included.
#include "support.h"

#include <algorithm>
#include <random>

namespace {

using Blob = std::vector<uint8_t>;

// The reference: a textbook selection sort over raw records, keys read at
// the given byte offsets and compared as unsigned 32-bit values.
std::vector<Blob> selection_sort(std::vector<Blob> r, size_t k1, size_t k2, bool two)
{
    auto less = [&](const Blob &a, const Blob &b) {
        if (rd32(a, k1) != rd32(b, k1))
            return rd32(a, k1) < rd32(b, k1);
        return two && rd32(a, k2) < rd32(b, k2);
    };
    for (size_t i = 0; i + 1 < r.size(); i++) {
        size_t m = i;
        for (size_t j = i + 1; j < r.size(); j++)
            if (less(r[j], r[m]))
                m = j;
        if (m != i)
            std::swap(r[i], r[m]);
    }
    return r;
}

std::vector<Blob> split(const std::vector<uint8_t> &b, size_t rsz)
{
    std::vector<Blob> r;
    for (size_t off = 0; off + rsz <= b.size(); off += rsz)
        r.emplace_back(b.begin() + off, b.begin() + off + rsz);
    return r;
}

Blob join(const std::vector<Blob> &r)
{
    Blob b;
    for (const Blob &x : r)
        b.insert(b.end(), x.begin(), x.end());
    return b;
}

} // namespace

using Sort = DictDir;

TEST_F(Sort, MatchesSelectionSortOnManyEqualKeys)
{
    std::mt19937 rng(20261208);
    for (size_t n : {0u, 1u, 2u, 3u, 7u, 64u, 257u, 1500u}) {
        for (uint32_t spread : {1u, 3u, 40u}) {
            std::vector<TCol> cols;
            for (size_t i = 0; i < n; i++) {
                // Few distinct keys (many ties), some above 2^31 so that a
                // signed comparison would be caught.
                uint32_t objn = (uint32_t)(rng() % spread) + (rng() % 4 == 0 ? 0x80000000u : 0u);
                uint32_t scid = (uint32_t)(rng() % spread);
                cols.push_back({0, objn, (uint32_t)i, scid, 1, 10, "C" + std::to_string(i)});
            }
            Blob in = encode(cols);
            put_file("col", in);
            ASSERT_EQ(sort_col_by_scid(), 0);
            EXPECT_EQ(g_ctx.sys.ncol, n);
            EXPECT_EQ(get_file("col"), join(selection_sort(split(in, 56), 4, 12, true)))
                << "n=" << n << " spread=" << spread;
        }
    }

    // One-key sorts order only by their key and still follow the exchanges.
    std::vector<TUser> users;
    for (uint32_t i = 0; i < 300; i++)
        users.push_back({(uint32_t)(rng() % 5), i, 0, 0, "U" + std::to_string(i)});
    Blob in = encode(users);
    put_file("user", in);
    ASSERT_EQ(sort_user_by_uid(), 0);
    EXPECT_EQ(get_file("user"), join(selection_sort(split(in, 48), 0, 0, false)));
}

TEST_F(Sort, DistinctOrAlreadyOrderedKeysGiveTheSameFiles)
{
    // Distinct keys in random order, keys already in order with ties, and
    // a run in order with one record out of place: each file must be what
    // the selection sort leaves.
    std::mt19937 rng(20261210);
    std::vector<uint32_t> perm(2500);
    for (uint32_t i = 0; i < perm.size(); i++)
        perm[i] = i;
    std::shuffle(perm.begin(), perm.end(), rng);
    std::vector<std::vector<TCol>> cases(3);
    for (size_t i = 0; i < perm.size(); i++) {
        cases[0].push_back({0, perm[i] / 7 + 0x7FFFFFF0u, (uint32_t)i, perm[i] % 7, 1, 10, "D" + std::to_string(i)});
        cases[1].push_back({0, (uint32_t)i / 5, (uint32_t)i, (uint32_t)i % 5 / 2, 1, 10, "S" + std::to_string(i)});
    }
    cases[2] = cases[1];
    std::swap(cases[2][100], cases[2][2000]);
    for (size_t c = 0; c < cases.size(); c++) {
        Blob in = encode(cases[c]);
        put_file("col", in);
        ASSERT_EQ(sort_col_by_scid(), 0);
        EXPECT_EQ(g_ctx.sys.ncol, cases[c].size());
        EXPECT_EQ(get_file("col"), join(selection_sort(split(in, 56), 4, 12, true))) << "case " << c;
    }

    // A file in order but with a trailing partial record is still rewritten
    // without it.
    std::vector<TPart> parts = {{20, 0, 4, 0, 0, 0}, {21, 0, 5, 0, 0, 0}, {30, 0, 5, 0, 0, 0}};
    Blob b = encode(parts);
    b.resize(b.size() + 5, 0xEE);
    put_file("tabpart", b);
    ASSERT_EQ(sort_tabpart_by_objp(), 0);
    EXPECT_EQ(get_file("tabpart"), encode(parts));
}

TEST_F(Sort, TwoKeySortsUseTheirOwnFields)
{
    // lob: objp then cid; tabpart: objp then objn.
    Enc lob;
    lob.u32(0).u32(9).u32(2).u32(100).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0);
    lob.u32(0).u32(9).u32(1).u32(101).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0);
    lob.u32(0).u32(3).u32(7).u32(102).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0);
    put_file("lob", lob.b);
    ASSERT_EQ(sort_lob_by_objn(), 0);
    Blob got = get_file("lob");
    ASSERT_EQ(got.size(), 120u);
    EXPECT_EQ(rd32(got, 12), 102u);
    EXPECT_EQ(rd32(got, 52), 101u);
    EXPECT_EQ(rd32(got, 92), 100u);

    std::vector<TPart> parts = {{21, 0, 5, 0, 0, 0}, {20, 0, 5, 0, 0, 0}, {30, 0, 4, 0, 0, 0}};
    put_file("tabcompart", encode(parts));
    ASSERT_EQ(sort_tabcompart_by_objp(), 0);
    got = get_file("tabcompart");
    EXPECT_EQ(rd32(got, 4), 30u);
    EXPECT_EQ(rd32(got, 36), 20u);
    EXPECT_EQ(rd32(got, 68), 21u);
    EXPECT_EQ(g_ctx.sys.ntcp, 3u);

    // A trailing partial record is dropped when the file is rewritten.
    Blob b = encode(parts);
    b.resize(b.size() + 5, 0xEE);
    put_file("tabpart", b);
    ASSERT_EQ(sort_tabpart_by_objp(), 0);
    EXPECT_EQ(get_file("tabpart").size(), 96u);
    EXPECT_EQ(g_ctx.sys.ntp, 3u);
}

TEST_F(Sort, FindsTheLateDictionaryTablesThroughObjAndTab)
{
    std::vector<TObj> obj = {
        {0, 300, 0, 2, "PROPS$"},  {0, 150, 0, 2, "LOB$"},       {0, 151, 5, 2, "TABPART$"},
        {0, 140, 0, 2, "TABPART$"}, {0, 160, 0, 2, "TABPART$"},   {0, 170, 0, 2, "TABSUBPART$"},
        {0, 180, 0, 2, "TABCOMPART$"}, {0, 190, 0, 2, "LOB$X"},     {0, 200, 0, 2, "RECYCLEBIN$"},
    };
    put_file("obj", encode(obj));
    uint32_t sobj[DICT_FOUND_TABLES], it[DICT_FOUND_TABLES], dba[DICT_FOUND_TABLES];
    ASSERT_EQ(sort_obj_by_objn(sobj), 0);
    // The highest of several matches of owner 0 is kept; other owners and
    // longer names do not match.
    EXPECT_EQ(sobj[0], 150u);
    EXPECT_EQ(sobj[1], 160u);
    EXPECT_EQ(sobj[2], 170u);
    EXPECT_EQ(sobj[3], 180u);
    EXPECT_EQ(sobj[4], 300u);
    EXPECT_EQ(sobj[5], 200u);

    std::vector<TTab> tab = {
        {0, 300, 300, 0, 0, 3, 1, 900, 0}, {0, 150, 0, 2, 4, 9, 1, 200, 0}, {0, 160, 160, 0, 0, 8, 1, 600, 0},
        {0, 170, 170, 0, 0, 8, 1, 700, 0}, {0, 180, 180, 0, 0, 8, 1, 800, 0}, {0, 200, 200, 0, 0, 20, 1, 950, 0},
    };
    put_file("tab", encode(tab));
    ASSERT_EQ(sort_tab_by_objn(sobj, it, dba), 0);
    EXPECT_EQ(it[0], 4u);
    EXPECT_EQ(dba[0], (1u << 22) | 200u);
    EXPECT_EQ(dba[4], (1u << 22) | 900u);
    EXPECT_EQ(dba[5], (1u << 22) | 950u);
    EXPECT_EQ(rd32(get_file("tab"), 4), 150u);

    // A missing table is reported by name; the sort goes on (the export then
    // leaves that table's file empty) and its address stays 0.
    tab.erase(tab.begin() + 3);
    put_file("tab", encode(tab));
    {
        Capture err(2);
        EXPECT_EQ(sort_tab_by_objn(sobj, it, dba), 0);
        EXPECT_EQ(err.text(), "\"TABSUBPART$\" not found in tab$.\n");
    }
    EXPECT_EQ(dba[2], 0u);
    EXPECT_EQ(dba[4], (1u << 22) | 900u);
    EXPECT_EQ(rd32(get_file("tab"), 4), 150u);

    // A database without a recycle bin has no RECYCLEBIN$: nothing is said.
    obj.erase(obj.begin() + 8);
    obj.erase(obj.begin() + 5);
    obj.erase(obj.begin() + 1);
    put_file("obj", encode(obj));
    Capture err(2);
    EXPECT_EQ(sort_obj_by_objn(sobj), 0);
    EXPECT_EQ(err.text(), "table \"LOB$\" obj# not found.\ntable \"TABSUBPART$\" obj# not found.\n");
    EXPECT_EQ(sobj[0], 0u);
    EXPECT_EQ(sobj[1], 160u);
    EXPECT_EQ(sobj[2], 0u);
    EXPECT_EQ(sobj[5], 0u);
}
