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

struct PSlot {
    bool free = false;
    bool key = false;
    size_t keyid = NO_KEY;   // key rows: the key; member pieces with a cki: their key
    Piece p;
};

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
        std::vector<Col> cols = r.cols;
        if (!r.keep_trailing_nulls)
            while (!cols.empty() && cols.back().null)
                cols.pop_back();
        const uint8_t cflag = keys_ ? FB_CLUSTER : 0;

        if (r.layout == RowLayout::FreeSlot) {
            PSlot ps;
            ps.free = true;
            long bi = fit(cur_, 0, NO_KEY, true);
            if (bi < 0)
                return refused(bi);
            cur_ = (size_t)bi;
            return record(where, bi, put((size_t)bi, t, ps));
        }
        if (r.layout == RowLayout::Deleted) {
            Piece p = head_piece(t, cols, k, FB_HEAD | FB_DELETED | FB_FIRST | FB_LAST | cflag);
            long bi = fit(cur_, (long)piece_size(p), k, true);
            if (bi < 0)
                return refused(bi);
            cur_ = (size_t)bi;
            return record(where, bi, put_piece((size_t)bi, t, p, k));
        }

        std::vector<Frag> frags;
        if (!r.cuts.empty())
            frags = frags_from_cuts(cols, r.cuts);
        else
            frags.push_back(Frag{cols, false, false});

        if (r.layout == RowLayout::Migrated) {
            Piece stub;
            stub.fb = FB_HEAD | cflag;
            stub.extra6 = x6_[t];
            stub.has_nrid = true;
            long sb = fit(cur_, (long)piece_size(stub), NO_KEY, true);
            if (sb < 0)
                return refused(sb);
            cur_ = (size_t)sb;
            int ss = put((size_t)sb, t, PSlot{false, false, NO_KEY, stub});
            RowId self{s_.data[(size_t)sb], (uint16_t)ss};
            if (int rc = chain(t, frags, k, false, self, (size_t)sb + 1, Ref{true, (size_t)sb, t, ss}); rc < 0)
                return rc;
            return record(where, sb, ss);
        }

        if (frags.size() == 1) {
            Piece p = head_piece(t, cols, k, FB_HEAD | FB_FIRST | FB_LAST | cflag);
            long bi = fit(cur_, (long)piece_size(p), k, true);
            if (bi >= 0) {
                cur_ = (size_t)bi;
                return record(where, bi, put_piece((size_t)bi, t, p, k));
            }
            if (bi != TOO_BIG)
                return full();
            // Too long for a block of its own: chain it over several blocks.
            long keyc = keys_ ? key_cost(k) : 0;
            long h0 = 3 + (keys_ ? 1 : 0) + (x6_[t] ? 6 : 0) + 6;
            frags = frags_greedy(cols, cap_ - 2 - keyc - h0, cap_ - 2 - 9);
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
            db.objd = s_.objd;
            db.itl = o_.itl;
            db.assm = o_.assm;
            db.ex_extra = o_.ex_extra;
            db.tables.resize(ntab_);
            for (size_t t = 0; t < ntab_; t++)
                for (size_t i = 0; i < pb.tabs[t].size(); i++) {
                    const PSlot &ps = pb.tabs[t][i];
                    Slot sl;
                    sl.free = ps.free;
                    if (ps.key) {
                        uint16_t n = 0;
                        for (size_t u = 1; u < ntab_; u++)
                            for (const PSlot &m : pb.tabs[u])
                                n += (!m.free && m.p.cki == (int)i) ? 1 : 0;
                        const std::vector<RowId> &o = occ[ps.keyid];
                        size_t at = 0;
                        while (at < o.size() && !(o[at].dba == s_.data[bi] && o[at].slot == i))
                            at++;
                        RowId self{s_.data[bi], (uint16_t)i};
                        RowId prev = at > 0 ? o[at - 1] : self, next = at + 1 < o.size() ? o[at + 1] : self;
                        sl.bytes = encode_key_row((*keys_)[ps.keyid], n, prev, next);
                    } else if (!ps.free) {
                        sl.bytes = encode_piece(ps.p);
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
        return write_segment_meta(df_, s_);
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

    Piece head_piece(size_t t, const std::vector<Col> &cols, size_t k, uint8_t fb)
    {
        Piece p;
        p.fb = fb;
        p.cols = cols;
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
        b.used += 2 + (ps.free ? 0 : (long)piece_size(ps.p));
        b.nslots++;
        b.tabs[t].push_back(std::move(ps));
        return (int)b.tabs[t].size() - 1;
    }

    int put_piece(size_t bi, size_t t, Piece p, size_t k)
    {
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
        return put(bi, t, PSlot{false, false, p.cki >= 0 ? k : NO_KEY, std::move(p)});
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
            p.fb = cflag | (frags[i].prev ? FB_PREV : 0) | (frags[i].next ? FB_NEXT : 0);
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
                blocks_[prev.bi].tabs[prev.t][(size_t)prev.slot].p.nrid = RowId{s_.data[(size_t)bi], (uint16_t)slot};
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
