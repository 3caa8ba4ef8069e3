// Laying out the logical rows of a heap table or of a cluster over the data
// blocks of a segment: head pieces, chained and migrated rows, deleted rows,
// free slots, cluster key rows repeated in every block that holds rows of
// the key.
#include "kbuild.h"

#include <cstdio>
#include <limits>

namespace kb {

namespace {

const size_t NO_KEY = std::numeric_limits<size_t>::max();

// A placed slot. Pieces are kept encoded (their next rowid is patched in
// when the next piece is placed), so a large table costs little memory.
struct PSlot {
    bool free = false;
    bool key = false;
    size_t keyid = NO_KEY;   // key rows: the key; member pieces with a cki: their key
    int cki = -1;
    int nrid_off = -1;       // offset of the next rowid in bytes, -1 when none
    std::vector<uint8_t> bytes;
};

int nrid_offset(const Piece &p)
{
    return p.has_nrid ? 3 + (p.cki >= 0) + (p.extra6 ? 6 : 0) + (p.has_hrid ? 6 : 0) : -1;
}

struct Ref {
    bool valid = false;
    size_t bi = 0, t = 0;
    int slot = 0;
};

struct PBlock {
    std::vector<std::vector<PSlot>> tabs;
    long used = 0;
    size_t nslots = 0;
};

// A run of columns of one piece; prev/next: the first/last column is a part
// of a column split with the neighbouring piece.
struct Frag {
    std::vector<Col> cols;
    bool prev = false, next = false;
};

size_t enc_size(const Col &c) { return c.null ? 1 : (c.data.size() > 250 || c.long_form ? 3 : 1) + c.data.size(); }

Col part_of(const Col &c, size_t from, size_t n)
{
    Col p;
    p.data.assign(c.data.begin() + (long)from, c.data.begin() + (long)(from + n));
    return p;
}

std::vector<Frag> frags_from_cuts(const std::vector<Col> &cols, const std::vector<Cut> &cuts)
{
    std::vector<Frag> out(1);
    size_t c = 0, off = 0;   // next column and bytes of it already taken
    for (const Cut &cut : cuts) {
        if (c >= cols.size())
            break;
        size_t end = cut.col < cols.size() ? cut.col : cols.size();
        for (; c < end; c++, off = 0) {
            if (off) {
                out.back().cols.push_back(part_of(cols[c], off, cols[c].data.size() - off));
                out.back().prev = out.back().prev || out.back().cols.size() == 1;
            } else {
                out.back().cols.push_back(cols[c]);
            }
        }
        if (c < cols.size() && cut.split_bytes > off && cut.split_bytes < cols[c].data.size()) {
            out.back().cols.push_back(part_of(cols[c], off, cut.split_bytes - off));
            if (off && out.back().cols.size() == 1)
                out.back().prev = true;
            out.back().next = true;
            off = cut.split_bytes;
            out.push_back(Frag{});
            out.back().prev = true;
        } else {
            out.push_back(Frag{});
            out.back().prev = off > 0;
        }
    }
    for (; c < cols.size(); c++, off = 0)
        out.back().cols.push_back(off ? part_of(cols[c], off, cols[c].data.size() - off) : cols[c]);
    // The prev flag belongs to pieces that start with a continued column.
    for (size_t i = 1; i < out.size(); i++)
        out[i].prev = out[i - 1].next;
    return out;
}

// Fills pieces of at most budget0 (first) and budget (others) bytes of
// column data, splitting a column where it does not fit.
std::vector<Frag> frags_greedy(const std::vector<Col> &cols, long budget0, long budget)
{
    std::vector<Frag> out(1);
    long acc = 0, lim = budget0;
    size_t c = 0, off = 0;
    while (c < cols.size()) {
        const Col &col = cols[c];
        size_t rem = col.null ? 0 : col.data.size() - off;
        Col piece = off ? part_of(col, off, rem) : col;
        long need = (long)enc_size(piece);
        if (acc + need <= lim) {
            out.back().cols.push_back(piece);
            acc += need;
            c++;
            off = 0;
            continue;
        }
        long room = lim - acc;
        if (!col.null && room >= 8) {
            size_t n = room - 1 <= 250 ? (size_t)(room - 1) : (size_t)(room - 3);
            out.back().cols.push_back(part_of(col, off, n));
            out.back().next = true;
            off += n;
        } else if (out.back().cols.empty()) {
            return {};   // the budget cannot take even one column
        }
        out.push_back(Frag{});
        out.back().prev = out[out.size() - 2].next;
        acc = 0;
        lim = budget;
    }
    return out;
}

class Packer {
  public:
    Packer(Datafile &df, const Segment &s, const BlockOpts &o, std::vector<bool> extra6,
           const std::vector<std::vector<Col>> *keys)
        : df_(df), s_(s), o_(o), ntab_(extra6.size()), x6_(std::move(extra6)), keys_(keys)
    {
        cap_ = (long)df.d.bsz - 4 - data_header_offset(o.itl, o.assm, o.ex_extra) - 14 - 4 * (long)ntab_ -
               (long)df.d.bsz * o.pctfree / 100;
    }

    // Places one logical row of table t (key k for a cluster member).
    int place(size_t t, const LogicalRow &r, size_t k, RowPlace *where)
    {
        size_t ncols = r.cols.size();
        if (!r.keep_trailing_nulls)
            while (ncols > 0 && r.cols[ncols - 1].null)
                ncols--;
        const Col *cols = r.cols.data();
        size_t colsz = 0;
        for (size_t i = 0; i < ncols; i++)
            colsz += enc_size(cols[i]);
        const uint8_t cflag = keys_ ? FB_CLUSTER : 0;
        dflag_ = r.deleted ? FB_DELETED : 0;

        if (r.layout == RowLayout::FreeSlot) {
            PSlot ps;
            ps.free = true;
            long bi = fit(cur_, 0, NO_KEY, true);
            if (bi < 0)
                return refused(bi);
            cur_ = (size_t)bi;
            return record(where, bi, put((size_t)bi, t, ps));
        }
        if (r.layout == RowLayout::Deleted || (r.layout == RowLayout::Normal && r.cuts.empty())) {
            uint8_t fb = FB_HEAD | FB_FIRST | FB_LAST | cflag | dflag_ | (r.layout == RowLayout::Deleted ? FB_DELETED : 0);
            Piece p = head_piece(t, k, fb);
            long bi = fit(cur_, (long)(piece_size(p) + colsz), k, true);
            if (bi >= 0) {
                cur_ = (size_t)bi;
                return record(where, bi, put_piece((size_t)bi, t, p, k, cols, ncols));
            }
            if (bi != TOO_BIG || r.layout == RowLayout::Deleted)
                return refused(bi);
        }

        std::vector<Col> own(cols, cols + ncols);
        std::vector<Frag> frags;
        if (!r.cuts.empty())
            frags = frags_from_cuts(own, r.cuts);
        else
            frags.push_back(Frag{own, false, false});

        if (r.layout == RowLayout::Migrated) {
            Piece stub;
            stub.fb = FB_HEAD | cflag | dflag_;
            stub.extra6 = x6_[t];
            stub.has_nrid = true;
            long sb = fit(cur_, (long)piece_size(stub), NO_KEY, true);
            if (sb < 0)
                return refused(sb);
            cur_ = (size_t)sb;
            int ss = put_piece((size_t)sb, t, stub, NO_KEY);
            RowId self{s_.data[(size_t)sb], (uint16_t)ss};
            if (int rc = chain(t, frags, k, false, self, (size_t)sb + 1, Ref{true, (size_t)sb, t, ss}); rc < 0)
                return rc;
            return record(where, sb, ss);
        }

        if (r.cuts.empty()) {
            // Too long for a block of its own: chain it over several blocks.
            long keyc = keys_ ? key_cost(k) : 0;
            long h0 = 3 + (keys_ ? 1 : 0) + (x6_[t] ? 6 : 0) + 6;
            frags = frags_greedy(own, cap_ - 2 - keyc - h0, cap_ - 2 - 9);
            if (frags.empty()) {
                fprintf(stderr, "row does not fit the block size %u\n", df_.d.bsz);
                return -1;
            }
        }
        long hb = -1;
        int hs = chain(t, frags, k, true, RowId{}, cur_, Ref{}, &hb);
        if (hs < 0)
            return hs;
        cur_ = (size_t)hb;
        return record(where, hb, hs);
    }

    int write()
    {
        const uint32_t bsz = df_.d.bsz;
        std::vector<uint8_t> img(bsz);
        // Cluster key occurrences, to link each key's rows over blocks.
        std::vector<std::vector<RowId>> occ;
        if (keys_) {
            occ.resize(keys_->size());
            for (size_t bi = 0; bi < blocks_.size(); bi++)
                for (size_t i = 0; i < blocks_[bi].tabs[0].size(); i++)
                    occ[blocks_[bi].tabs[0][i].keyid].push_back(RowId{s_.data[bi], (uint16_t)i});
        }
        for (size_t bi = 0; bi < blocks_.size(); bi++) {
            PBlock &pb = blocks_[bi];
            DataBlock db;
            db.objd = o_.objd ? o_.objd : s_.objd;
            db.itl = o_.itl;
            db.assm = o_.assm;
            db.ex_extra = o_.ex_extra;
            db.tables.resize(ntab_);
            // Rows of each key row's key in this block.
            std::vector<uint16_t> per_key(pb.tabs[0].size(), 0);
            for (size_t u = 1; u < ntab_; u++)
                for (const PSlot &m : pb.tabs[u])
                    if (!m.free && m.cki >= 0 && (size_t)m.cki < per_key.size())
                        per_key[(size_t)m.cki]++;
            for (size_t t = 0; t < ntab_; t++)
                for (size_t i = 0; i < pb.tabs[t].size(); i++) {
                    PSlot &ps = pb.tabs[t][i];
                    Slot sl;
                    sl.free = ps.free;
                    if (ps.key) {
                        uint16_t n = per_key[i];
                        const std::vector<RowId> &o = occ[ps.keyid];
                        size_t at = 0;
                        while (at < o.size() && !(o[at].dba == s_.data[bi] && o[at].slot == i))
                            at++;
                        RowId self{s_.data[bi], (uint16_t)i};
                        RowId prev = at > 0 ? o[at - 1] : self, next = at + 1 < o.size() ? o[at + 1] : self;
                        sl.bytes = encode_key_row((*keys_)[ps.keyid], n, prev, next);
                    } else if (!ps.free) {
                        sl.bytes = std::move(ps.bytes);
                    }
                    db.tables[t].push_back(std::move(sl));
                }
            if (compose_data_block(db, bsz, s_.data[bi], img.data()) != 0) {
                fprintf(stderr, "data block 0x%08x overflows\n", s_.data[bi]);
                return -1;
            }
            if (df_write_block(df_, df_.block_of(s_.data[bi]), img.data()))
                return -1;
        }
        // The high-water mark: the first block the rows did not reach.
        Segment s = s_;
        s.hwm = blocks_.size() < s_.data.size() ? s_.data[blocks_.size()] : 0;
        return write_segment_meta(df_, s);
    }

  private:
    int full() { return -2; }

    int refused(long fit_result)
    {
        if (fit_result != TOO_BIG)
            return full();
        fprintf(stderr, "row piece does not fit a block of %u bytes\n", df_.d.bsz);
        return -1;
    }

    int record(RowPlace *where, long bi, int slot)
    {
        if (slot < 0)
            return -1;
        if (where)
            *where = RowPlace{s_.data[(size_t)bi], slot};
        return 0;
    }

    Piece head_piece(size_t t, size_t k, uint8_t fb)
    {
        Piece p;
        p.fb = fb;
        p.extra6 = x6_[t];
        p.cki = keys_ && k != NO_KEY ? 0 : -1;   // real index set when placed
        return p;
    }

    long key_cost(size_t k) const
    {
        long n = 19 + 2;
        for (const Col &c : (*keys_)[k])
            n += (long)enc_size(c);
        return n;
    }

    int key_slot(size_t bi, size_t k) const
    {
        const auto &t0 = blocks_[bi].tabs[0];
        for (size_t i = 0; i < t0.size(); i++)
            if (t0[i].keyid == k)
                return (int)i;
        return -1;
    }

    bool ensure(size_t bi)
    {
        if (bi >= s_.data.size())
            return false;
        while (blocks_.size() <= bi) {
            blocks_.push_back(PBlock{});
            blocks_.back().tabs.resize(ntab_);
        }
        return true;
    }

    bool fits(size_t bi, long size, size_t k)
    {
        if (!ensure(bi))
            return false;
        const PBlock &b = blocks_[bi];
        long need = size + 2;
        size_t slots = 1;
        if (keys_ && k != NO_KEY && key_slot(bi, k) < 0) {
            need += key_cost(k);
            slots++;
        }
        if (o_.max_rows > 0 && b.nslots + slots > (size_t)o_.max_rows)
            return false;
        return b.used + need <= cap_;
    }

    // First block from `from` on that takes a piece of `size` bytes (and its
    // cluster key row); -1 when the segment has no such block. With
    // `move_on`, the search stops at the first empty block (TOO_BIG when
    // even that one does not take it).
    static const long TOO_BIG = -3;
    long fit(size_t from, long size, size_t k, bool move_on)
    {
        for (size_t bi = from; ensure(bi); bi++) {
            if (fits(bi, size, k))
                return (long)bi;
            if (move_on && blocks_[bi].nslots == 0)
                return TOO_BIG;   // not even an empty block takes it
        }
        return -1;
    }

    int put(size_t bi, size_t t, PSlot ps)
    {
        PBlock &b = blocks_[bi];
        b.used += 2 + (long)ps.bytes.size();
        b.nslots++;
        b.tabs[t].push_back(std::move(ps));
        return (int)b.tabs[t].size() - 1;
    }

    void patch_nrid(const Ref &r, RowId id)
    {
        PSlot &ps = blocks_[r.bi].tabs[r.t][(size_t)r.slot];
        if (ps.nrid_off >= 0) {
            put_be32(ps.bytes.data() + ps.nrid_off, id.dba);
            put_be16(ps.bytes.data() + ps.nrid_off + 4, id.slot);
        }
    }

    // Places a piece; `extra` columns (not copied into the piece) follow its own.
    int put_piece(size_t bi, size_t t, Piece p, size_t k, const Col *extra = nullptr, size_t nextra = 0)
    {
        if (p.cc < 0)
            p.cc = (int)(p.cols.size() + nextra);
        if (p.cki >= 0) {
            int ks = key_slot(bi, k);
            if (ks < 0) {
                PSlot kr;
                kr.key = true;
                kr.keyid = k;
                blocks_[bi].used += key_cost(k);
                blocks_[bi].nslots++;
                blocks_[bi].tabs[0].push_back(kr);
                ks = (int)blocks_[bi].tabs[0].size() - 1;
            }
            p.cki = ks;
        }
        PSlot ps;
        ps.keyid = p.cki >= 0 ? k : NO_KEY;
        ps.cki = p.cki;
        ps.nrid_off = nrid_offset(p);
        ps.bytes = encode_piece(p);
        for (size_t i = 0; i < nextra; i++)
            encode_col(ps.bytes, extra[i]);
        return put(bi, t, std::move(ps));
    }

    // Places the pieces of frags from block `from` on, each after the block
    // of the one before; the first is a head piece (head) or the body of a
    // migrated row pointing back to hrid. `link` gets the first piece's rowid
    // as its next rowid. Returns the first piece's slot (its block in *fb).
    int chain(size_t t, const std::vector<Frag> &frags, size_t k, bool head, RowId hrid, size_t from, Ref link,
              long *first_block = nullptr)
    {
        const uint8_t cflag = keys_ ? FB_CLUSTER : 0;
        Ref prev = link;
        size_t at = from;
        int first_slot = -1;
        for (size_t i = 0; i < frags.size(); i++) {
            Piece p;
            p.fb = cflag | dflag_ | (frags[i].prev ? FB_PREV : 0) | (frags[i].next ? FB_NEXT : 0);
            if (i == 0)
                p.fb |= (head ? FB_HEAD : 0) | FB_FIRST;
            if (i + 1 == frags.size())
                p.fb |= FB_LAST;
            p.cols = frags[i].cols;
            p.has_nrid = i + 1 < frags.size();
            if (i == 0 && head)
                p.extra6 = x6_[t];
            if (i == 0 && !head) {
                p.has_hrid = true;
                p.hrid = hrid;
            }
            size_t kk = (i == 0 && keys_) ? k : NO_KEY;
            if (kk != NO_KEY)
                p.cki = 0;
            long bi = fit(at, (long)piece_size(p), kk, false);
            if (bi < 0)
                return full();
            int slot = put_piece((size_t)bi, t, p, kk);
            if (prev.valid)
                patch_nrid(prev, RowId{s_.data[(size_t)bi], (uint16_t)slot});
            prev = Ref{true, (size_t)bi, t, slot};
            if (i == 0) {
                first_slot = slot;
                if (first_block)
                    *first_block = bi;
            }
            at = (size_t)bi + 1;
        }
        return first_slot;
    }

    Datafile &df_;
    const Segment &s_;
    BlockOpts o_;
    size_t ntab_;
    std::vector<bool> x6_;
    const std::vector<std::vector<Col>> *keys_;
    std::vector<PBlock> blocks_;
    size_t cur_ = 0;
    long cap_ = 0;
    uint8_t dflag_ = 0;      // FB_DELETED for the pieces of the row being placed
};

} // namespace

int write_heap_table(Datafile &df, const Segment &s, const std::vector<LogicalRow> &rows, const BlockOpts &o,
                     std::vector<RowPlace> *places, bool dry_run)
{
    Packer pk(df, s, o, {o.extra6}, nullptr);
    if (places)
        places->assign(rows.size(), RowPlace{});
    for (size_t i = 0; i < rows.size(); i++)
        if (int rc = pk.place(0, rows[i], NO_KEY, places ? &(*places)[i] : nullptr))
            return rc;
    return dry_run ? 0 : pk.write();
}

int write_cluster(Datafile &df, const Segment &s, const std::vector<std::vector<Col>> &keys,
                  const std::vector<ClusterMember> &members, const BlockOpts &o,
                  std::vector<std::vector<RowPlace>> *places, bool dry_run)
{
    std::vector<bool> x6{false};
    for (const ClusterMember &m : members)
        x6.push_back(m.extra6 || o.extra6);
    Packer pk(df, s, o, x6, &keys);
    // Rows of each member bucketed by key, in their order.
    std::vector<std::vector<std::vector<size_t>>> by_key(members.size(), std::vector<std::vector<size_t>>(keys.size()));
    if (places)
        places->assign(members.size(), {});
    for (size_t m = 0; m < members.size(); m++) {
        if (places)
            (*places)[m].assign(members[m].rows.size(), RowPlace{});
        for (size_t i = 0; i < members[m].rows.size(); i++) {
            size_t k = i < members[m].key_of.size() ? members[m].key_of[i] : 0;
            if (k >= keys.size()) {
                fprintf(stderr, "cluster row %zu of table %zu names key %zu of %zu\n", i, m + 1, k, keys.size());
                return -1;
            }
            by_key[m][k].push_back(i);
        }
    }
    for (size_t k = 0; k < keys.size(); k++)
        for (size_t m = 0; m < members.size(); m++)
            for (size_t i : by_key[m][k])
                if (int rc = pk.place(m + 1, members[m].rows[i], k, places ? &(*places)[m][i] : nullptr))
                    return rc;
    return dry_run ? 0 : pk.write();
}

} // namespace kb
