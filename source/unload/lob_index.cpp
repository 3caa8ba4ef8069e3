// The LOB index of BasicFile LOBs: a B-tree on (lobid, page number) whose
// leaf entries list the chunk rdbas of each LOB, eight to an entry (four after
// the inode in the entry of page 0). One descent per LOB finds the leaf of the
// first wanted page; from there the leaves are followed through kdxlenxt.
#include <cstdio>

#include "kelvo/context.h"
#include "lob_io.h"

namespace {

// An index block in a buffer, with its headers and entry offsets checked.
struct IXBLK {
    const uint8_t *b;
    uint32_t bsz;
    uint32_t rdba;
    size_t xco;             // offset of XCO
    size_t tab;             // offset of the entry offset array
    int nro;
    int level;
};

void index_damaged(int tsn, uint32_t rdba, const char *why)
{
    fprintf(stderr, "LOB index block (ts#=%d, rdba=0x%08x) is damaged: %s.\n", tsn, rdba, why);
    lob_why("a LOB index block is damaged");
}

int open_index_block(IXBLK *x, const uint8_t *b, uint32_t bsz, int tsn, uint32_t rdba)
{
    x->b = b;
    x->bsz = bsz;
    x->rdba = rdba;
    int off = data_header_offset(b, bsz);
    if (off < 0 || !in_bounds((size_t)off, sizeof(XCO) + sizeof(XLE), bsz)) {
        index_damaged(tsn, rdba, "index header lies past the block");
        return -1;
    }
    x->xco = (size_t)off;
    x->level = b[x->xco + offsetof(XCO, kdxcolev)];
    x->nro = (int16_t)get_le16(b + x->xco + offsetof(XCO, kdxconro));
    x->tab = x->xco + sizeof(XCO) + (x->level == 0 ? sizeof(XLE) : sizeof(XBR));
    if (x->nro < 0 || !in_bounds(x->tab, 2 * (size_t)x->nro, bsz)) {
        index_damaged(tsn, rdba, "entry count runs past the block");
        return -1;
    }
    return 0;
}

// Offset of entry i when its n bytes lie in the block, else 0.
size_t index_entry(const IXBLK *x, int i, size_t n)
{
    size_t e = x->xco + get_le16(x->b + x->tab + 2 * (size_t)i);
    return in_bounds(e, n, x->bsz) ? e : 0;
}

int key_cmp(const uint8_t *lobid, uint32_t page, const uint8_t *klobid, uint32_t kpage)
{
    int c = memcmp(lobid, klobid, 10);
    if (c != 0)
        return c;
    return page < kpage ? -1 : page > kpage ? 1 : 0;
}

// Key of branch entry i: its lobid and page (0 for a truncated key), and its
// child. False when the entry does not lie in the block.
bool branch_key(const IXBLK *x, int i, const uint8_t **lobid, uint32_t *page, uint32_t *child)
{
    size_t e = index_entry(x, i, IXB_PAGE);
    if (e == 0)
        return false;
    *child = get_le32(x->b + e);
    *lobid = x->b + e + IXB_LOBID;
    if (x->b[e + IXB_PAGELEN] == IXB_TRUNCATED) {
        *page = 0;
        return true;
    }
    if (!in_bounds(e, IXB_PAGE + 4, x->bsz))
        return false;
    *page = get_be32(x->b + e + IXB_PAGE);
    return true;
}

} // namespace

int search_index_leaf(ULDR *ul, int tsn, uint32_t rdba, LOC *loc, uint32_t pageno)
{
    // Each step goes one level down, so the descent ends after at most 256.
    int above = 256;
    for (;;) {
        DATAFILE *df = lob_file(tsn, rdba);
        if (!df || lob_read(df, tsn, rdba, 1, ul->ibuf) < 0)
            return -1;
        IXBLK x;
        if (open_index_block(&x, ul->ibuf, df->bsz, tsn, rdba) < 0)
            return -1;
        if (x.level >= above) {
            index_damaged(tsn, rdba, "its level is not below that of its parent branch");
            return -1;
        }
        if (x.level == 0)
            return 0;
        above = x.level;
        uint32_t next = 0;
        bool chosen = false;
        const uint8_t *klobid;
        uint32_t kpage, child;
        if (x.nro > 0 && !branch_key(&x, 0, &klobid, &kpage, &child)) {
            index_damaged(tsn, rdba, "branch entry outside the block");
            return -1;
        }
        for (int i = 0; i < x.nro && !chosen; i++) {
            int c = key_cmp(loc->lobid, pageno, klobid, kpage);
            uint32_t this_child = child;
            if (i == 0 && c < 0) {
                next = get_le32(ul->ibuf + x.xco + sizeof(XCO) + offsetof(XBR, kdxbrlmc));
                chosen = true;
                break;
            }
            bool last = i + 1 == x.nro;
            if (!last && !branch_key(&x, i + 1, &klobid, &kpage, &child)) {
                index_damaged(tsn, rdba, "branch entry outside the block");
                return -1;
            }
            if (c >= 0 && (last || key_cmp(loc->lobid, pageno, klobid, kpage) < 0)) {
                next = this_child;
                chosen = true;
            }
        }
        if (!chosen) {
            fprintf(stderr, "LOB ID not found.\n");
            lob_why("the LOB index has no entry for the value");
            return -1;
        }
        rdba = next;
    }
}

namespace {

// A position in the leaf chain of the LOB index; the leaf lies in ibuf.
struct CURSOR {
    ULDR *ul;
    int tsn;
    const LOC *loc;
    IXBLK x;
    int i;                  // next entry to look at
    bool live;              // a live entry was looked at in this leaf
    uint8_t last_lobid[10]; // ... and its key
    uint32_t last_page;
    // Loop detection (Brent) over the leaves followed.
    uint32_t saved, power, lam;
};

// Finds the live entry (lobid, pageno) from the cursor on, following the leaf
// chain while the entries looked at are still below the key. Returns the
// entry's offset in ibuf, or 0 after one message.
size_t find_entry(CURSOR *c, uint32_t pageno)
{
    for (;;) {
        for (; c->i < c->x.nro; c->i++) {
            size_t e = index_entry(&c->x, c->i, IXL_SIZE);
            if (e == 0) {
                index_damaged(c->tsn, c->x.rdba, "leaf entry outside the block");
                return 0;
            }
            const uint8_t *p = c->x.b + e;
            if (p[0] & IXL_DELETED)
                continue;
            c->live = true;
            memcpy(c->last_lobid, p + IXL_LOBID, 10);
            c->last_page = get_be32(p + IXL_PAGE);
            if (memcmp(c->last_lobid, c->loc->lobid, 10) == 0 && c->last_page == pageno)
                return e;
        }
        uint32_t next = get_le32(c->x.b + c->x.xco + sizeof(XCO) + offsetof(XLE, kdxlenxt));
        if (!c->live || memcmp(c->last_lobid, c->loc->lobid, 10) != 0 || c->last_page >= pageno || next == 0) {
            fprintf(stderr, "LOB ID not found in leaf node.\n");
            lob_why("the LOB index has no entry for the value");
            return 0;
        }
        if (next == c->saved) {
            index_damaged(c->tsn, c->x.rdba, "the leaf chain loops");
            return 0;
        }
        if (++c->lam == c->power) {
            c->saved = next;
            c->power *= 2;
            c->lam = 0;
        }
        DATAFILE *df = lob_file(c->tsn, next);
        if (!df || lob_read(df, c->tsn, next, 1, c->ul->ibuf) < 0)
            return 0;
        if (open_index_block(&c->x, c->ul->ibuf, df->bsz, c->tsn, next) < 0)
            return 0;
        if (c->x.level != 0) {
            index_damaged(c->tsn, next, "the next leaf is a branch block");
            return 0;
        }
        c->i = 0;
        c->live = false;
    }
}

} // namespace

int read_index_chunk(ULDR *ul, LOB *lob, LOC *loc, uint32_t pageno)
{
    int li = lookup_lob_index(lob->indn);
    if (li < 0) {
        fprintf(stderr, "LOB index of table obj#=%d, col#=%d not found.\n", (int)lob->objp, (int)lob->cid);
        lob_why("the LOB index is not in the dictionary");
        return -1;
    }
    if (lob->chunk == 0) {
        lob_bad_locator(lob, "the LOB has a chunk size of 0 blocks");
        return -1;
    }
    const LOBIDX *ix = &g_ctx.lidx[li];
    uint32_t root = (uint32_t)(((uint64_t)ix->fno << 22) | ix->blk) + 1;
    if (search_index_leaf(ul, (int)ix->tsn, root, loc, pageno) < 0) {
        fprintf(stderr, "search lob index leaf error.\n");
        return -1;
    }
    int tsn = (int)lob->tsn;
    CURSOR c{};
    c.ul = ul;
    c.tsn = tsn;
    c.loc = loc;
    c.power = 1;
    DATAFILE *df = lob_file((int)ix->tsn, root);
    if (!df || open_index_block(&c.x, ul->ibuf, df->bsz, (int)ix->tsn, get_le32(ul->ibuf + 4)) < 0)
        return -1;

    uint8_t *ino = (uint8_t *)loc + LOC_INODE_OFFSET;
    uint32_t blks = 0;
    uint16_t bytes = 0;
    uint32_t chunks = 0;
    if (pageno != 0) {
        memcpy(&blks, ino + offsetof(INODE, blks), sizeof(blks));
        memcpy(&bytes, ino + offsetof(INODE, bytes), sizeof(bytes));
        uint32_t all = blks / lob->chunk;
        chunks = all > pageno ? all - pageno : 0;
    }
    const uint8_t *rdbas;
    uint32_t listed, in_chunks;
    for (;;) {
        size_t e = find_entry(&c, pageno);
        if (e == 0)
            return -1;
        const uint8_t *data = ul->ibuf + e + IXL_DATA;
        if (pageno == 0) {
            // The entry of page 0 carries the LOB's inode.
            memcpy(ino, data, sizeof(INODE));
            blks = get_be32(data + offsetof(INODE, blks));
            bytes = get_be16(data + offsetof(INODE, bytes));
            memcpy(ino + offsetof(INODE, blks), &blks, sizeof(blks));
            memcpy(ino + offsetof(INODE, bytes), &bytes, sizeof(bytes));
            chunks = blks / lob->chunk;
            rdbas = data + sizeof(INODE);
            listed = 4;
        } else {
            rdbas = data;
            listed = 8;
        }
        in_chunks = chunks < listed ? chunks : listed;
        // The chunk reads leave ibuf alone: the leaf stays there.
        if (read_chunk_list(ul, tsn, rdbas, in_chunks, (int)lob->chunk) < 0)
            return -1;
        chunks -= in_chunks;
        pageno += in_chunks;
        if (chunks == 0)
            break;
        c.i++;
    }
    uint32_t rem = blks % lob->chunk;
    if (rem == 0 && bytes == 0)
        return 0;
    uint32_t rdba;
    if (in_chunks < listed) {
        rdba = get_be32(rdbas + 4 * in_chunks);
    } else {
        c.i++;
        size_t e = find_entry(&c, pageno);
        if (e == 0)
            return -1;
        rdba = get_be32(ul->ibuf + e + IXL_DATA);
    }
    return read_chunk_data(ul, tsn, rdba, (int)rem, bytes);
}
