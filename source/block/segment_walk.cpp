// The segment walk shared by "export dict" and "unload": the segment header,
// its extents in map order and the extent map blocks chained after it, every
// block read checked and every bad block reported once and passed on as lost.
// When the header itself cannot be used, the tablespace's datafiles are
// scanned for the segment's data blocks instead.
#include <cstdio>
#include <sys/stat.h>
#include <map>
#include <set>
#include <vector>

#include "kelvo/block.h"
#include "kelvo/context.h"
#include "kelvo/progress.h"

namespace {

// Highest block number of a smallfile datafile (22 bits) and of a bigfile.
constexpr uint64_t SMALLFILE_BLOCKS = 1ull << 22;
constexpr uint64_t BIGFILE_BLOCKS = 1ull << 32;

struct Walk {
    SEGWALK *w;
    std::vector<uint8_t> faults;            // one per block of the read area
    std::map<uint64_t, uint64_t> read;      // blocks read: first -> end, keyed (fno << 32) | block
    std::set<uint64_t> maps;                // map blocks visited, (fno << 32) | block
    uint32_t hwm = 0;                       // high-water mark rdba, 0 when unknown
    bool above_hwm = false;                 // the walk has reached the high-water mark
    // An extent lost whole before the high-water mark was reached may have
    // held it: the all-zero blocks after it cannot be placed below or above
    // it, so they are counted apart and said once, not as losses.
    bool hwm_unknown = false;
    uint32_t zero_unplaced = 0;
    uint64_t pos = 0;                       // blocks of the extents met so far, in map order
};

uint64_t block_key(const DATAFILE *df, uint32_t rdba) { return ((uint64_t)df->fno << 32) | df_block_number(df, rdba); }

uint64_t file_blocks(const DATAFILE *df) { return (df->flag & DF_BIGFILE) ? BIGFILE_BLOCKS : SMALLFILE_BLOCKS; }

void print_block(const char *what, const DATAFILE *df, uint32_t rdba)
{
    progress_clear();
    fprintf(stderr, "%s %u/%llu (rdba=0x%08x) of \"%s\"", what, df->fno,
            (unsigned long long)df_block_number(df, rdba), rdba, df->name);
}

DATAFILE *segment_file(const SEGWALK *w, uint32_t rdba)
{
    if (w->only)
        return w->only;
    DATAFILE *df = get_datafile(w->tsn, (int)rdba_file(rdba));
    if (!df)
        fprintf(stderr, "datafile (ts#=%d, rfile#=%d) not found.\n", w->tsn, (int)rdba_file(rdba));
    return df;
}

// Hands one block read at rdba on by its fault. An all-zero block above the
// high-water mark was never used for rows and is no loss.
int take_block(Walk &k, const DATAFILE *df, uint32_t rdba, uint8_t *blk, int fault)
{
    SEGWALK *w = k.w;
    if (k.hwm != 0 && rdba == k.hwm)
        k.above_hwm = true;
    if (fault == BLOCK_GOOD)
        return w->visit(w, df, rdba, blk);
    if (fault == BLOCK_UNFORMATTED) {
        if (k.hwm == 0 || k.above_hwm)
            return 0;
        if (k.hwm_unknown) {
            k.zero_unplaced++;
            return 0;
        }
        print_block("block", df, rdba);
        fprintf(stderr, ": unformatted (all zeros) below the high-water mark, skipped.\n");
    } else {
        report_block(df, rdba, fault);
    }
    w->lost(w, df, rdba, 1, fault);
    return 0;
}

// Reads len blocks from dba, all in df, and hands them on. A batch the
// system refuses is read again block by block, so only the bad blocks are
// lost; the end of the file ends the run, the rest counted as lost.
int read_run(Walk &k, const DATAFILE *cdf, uint32_t dba, uint32_t len)
{
    SEGWALK *w = k.w;
    DATAFILE *df = const_cast<DATAFILE *>(cdf);
    uint8_t *f = k.faults.data();
    while (len > 0) {
        int n = len < (uint32_t)w->area_blks ? (int)len : w->area_blks;
        progress_done((uint64_t)n, (uint32_t)w->bsz);
        if (read_blocks_quiet(df, dba, n, w->area, nullptr, f) == n && f[0] == BLOCK_READ_ERROR && n > 1)
            for (int i = 0; i < n; i++)
                read_blocks_quiet(df, dba + (uint32_t)i, 1, w->area + (size_t)i * (size_t)w->bsz, nullptr, f + i);
        for (int i = 0; i < n; i++) {
            uint32_t rdba = dba + (uint32_t)i;
            if (f[i] == BLOCK_PAST_END) {
                uint32_t rest = len - (uint32_t)i;
                report_block(df, rdba, BLOCK_PAST_END);
                if (rest > 1)
                    fprintf(stderr, "%u more blocks from rdba=0x%08x lie beyond the end of \"%s\", lost.\n",
                            rest - 1, rdba + 1, df->name);
                w->lost(w, df, rdba, rest, BLOCK_PAST_END);
                return 0;
            }
            int rc = take_block(k, df, rdba, w->area + (size_t)i * (size_t)w->bsz, f[i]);
            if (rc != 0)
                return rc;
        }
        dba += (uint32_t)n;
        len -= (uint32_t)n;
    }
    return 0;
}

// One extent of the map: the blocks not read before, within the file's
// block numbers.
int read_extent(Walk &k, uint32_t dba, uint32_t len)
{
    SEGWALK *w = k.w;
    if (len == 0)
        return 0;
    DATAFILE *df = segment_file(w, dba);
    if (df && (int)df->bsz != w->bsz) {
        fprintf(stderr, "extent at rdba=0x%08x lies in a datafile of another block size.\n", dba);
        df = nullptr;
    }
    if (!df) {
        fprintf(stderr, "extent at rdba=0x%08x (%u blocks) skipped.\n", dba, len);
        if (k.hwm != 0 && !k.above_hwm)
            k.hwm_unknown = true;
        w->lost(w, nullptr, dba, len, BLOCK_NO_FILE);
        return 0;
    }
    uint64_t first = df_block_number(df, dba);
    uint64_t room = file_blocks(df) - first;
    if (len > room) {
        // Block numbers past the last one a file can have: beyond its end.
        report_block(df, dba + (uint32_t)room, BLOCK_PAST_END);
        fprintf(stderr, "%llu more blocks from rdba=0x%08x lie beyond the end of \"%s\", lost.\n",
                (unsigned long long)(len - room - 1), dba + (uint32_t)room + 1, df->name);
        w->lost(w, df, dba + (uint32_t)room, (uint32_t)(len - room), BLOCK_PAST_END);
        len = (uint32_t)room;
    }
    // The parts of [s, e) not read before; [s, e) is recorded as read.
    uint64_t s = block_key(df, dba), e = s + len;
    std::pair<uint64_t, uint64_t> parts[2];
    std::vector<std::pair<uint64_t, uint64_t>> more;
    int np = 0;
    auto add = [&](uint64_t a, uint64_t b) {
        if (np < 2)
            parts[np++] = {a, b};
        else
            more.push_back({a, b});
    };
    auto it = k.read.upper_bound(s);
    if (it != k.read.begin() && std::prev(it)->second >= s)
        --it;
    uint64_t cur = s, ns = s, ne = e;
    while (it != k.read.end() && it->first <= e) {
        if (it->first > cur)
            add(cur, it->first);
        cur = it->second > cur ? it->second : cur;
        ns = it->first < ns ? it->first : ns;
        ne = it->second > ne ? it->second : ne;
        it = k.read.erase(it);
    }
    if (cur < e)
        add(cur, e);
    k.read[ns] = ne;
    uint64_t fresh = 0;
    for (int i = 0; i < np; i++)
        fresh += parts[i].second - parts[i].first;
    for (auto &p : more)
        fresh += p.second - p.first;
    if (fresh < len) {
        print_block("extent", df, dba);
        fprintf(stderr, ": %llu of its %u blocks were read before (listed twice or overlapping), read once.\n",
                (unsigned long long)(len - fresh), len);
    }
    for (int i = 0; i < np + (int)more.size(); i++) {
        auto p = i < np ? parts[i] : more[(size_t)(i - np)];
        uint32_t from = dba + (uint32_t)(p.first - s);
        int rc = read_run(k, df, from, (uint32_t)(p.second - p.first));
        if (rc != 0)
            return rc;
    }
    return 0;
}

// Data blocks of every datafile of the tablespace, in file order: those of
// data object w->objd, or those `want` takes. Returns the visitor's non-zero
// result, else 0; *found counts the blocks taken.
int scan_files(Walk &k, bool (*want)(SEGWALK *w, uint32_t rdba, const uint8_t *blk), uint32_t *found)
{
    SEGWALK *w = k.w;
    uint8_t *f = k.faults.data();
    for (uint32_t d = 0; g_ctx.df && d < g_ctx.sys.nf; d++) {
        DATAFILE *df = &g_ctx.df[d];
        if ((int)df->tsn != w->tsn || (int)df->bsz != w->bsz || df->fd < 0)
            continue;
        uint64_t end = (uint64_t)df->blks + 1;
        if (end > file_blocks(df))
            end = file_blocks(df);
        if (end > 2)
            progress_total(end - 2);
        for (uint64_t b = 2; b < end;) {
            int n = end - b < (uint64_t)w->area_blks ? (int)(end - b) : w->area_blks;
            uint32_t rdba = (df->flag & DF_BIGFILE) ? (uint32_t)b : (uint32_t)((df->rfn << 22) | (uint32_t)b);
            read_blocks_quiet(df, rdba, n, w->area, nullptr, f);
            progress_done((uint64_t)n, (uint32_t)w->bsz);
            for (int i = 0; i < n; i++) {
                uint8_t *blk = w->area + (size_t)i * (size_t)w->bsz;
                if (f[i] == BLOCK_PAST_END || f[i] == BLOCK_READ_ERROR || f[i] == BLOCK_UNFORMATTED)
                    continue;
                // Bytes of a failed block are only peeked at to tell whose it was.
                if (blk[offsetof(KCBH, type_kcbh)] != BLOCK_TYPE_DATA)
                    continue;
                if (want ? !want(w, rdba + (uint32_t)i, blk)
                         : get_le32(blk + KTBBH_OFFSET + offsetof(KTBBH, ktbbhod1)) != w->objd)
                    continue;
                (*found)++;
                if (f[i] != BLOCK_GOOD) {
                    report_block(df, rdba + (uint32_t)i, f[i]);
                    w->lost(w, df, rdba + (uint32_t)i, 1, f[i]);
                    continue;
                }
                int rc = w->visit(w, df, rdba + (uint32_t)i, blk);
                if (rc != 0)
                    return rc;
            }
            if (f[n - 1] == BLOCK_PAST_END)
                break;
            b += (uint64_t)n;
        }
    }
    return 0;
}

// Data blocks of data object w->objd in every datafile of the tablespace,
// in file order, in place of the segment's unusable map.
int scan_tablespace(Walk &k)
{
    SEGWALK *w = k.w;
    fprintf(stderr, "segment header rdba=0x%08x of ts#=%d cannot be used: scanning the tablespace for blocks of "
                    "data object %u.\n",
            w->hdba, w->tsn, w->objd);
    w->scanned = 1;
    uint32_t found = 0;
    int rc = scan_files(k, nullptr, &found);
    if (rc != 0)
        return rc;
    fprintf(stderr, "scan of ts#=%d found %u blocks of data object %u.\n", w->tsn, found, w->objd);
    return 0;
}

// The map chain ends early at rdba: the extents the header counts beyond
// those read are not known.
void map_broken(SEGWALK *w, const DATAFILE *df, uint32_t rdba, uint32_t total, uint32_t known)
{
    uint32_t unknown = total > known ? total - known : 0;
    fprintf(stderr, "extent map of segment rdba=0x%08x broken at rdba=0x%08x: %u of %u extents not known.\n", w->hdba,
            rdba, unknown, total);
    if (unknown > 0)
        w->lost(w, df, rdba, unknown, SEGWALK_MAP_BROKEN);
}

// The header could not be used: scan, or give up when there is nothing to
// scan for.
int header_lost(Walk &k)
{
    if (k.w->objd != 0)
        return scan_tablespace(k);
    fprintf(stderr, "segment header rdba=0x%08x of ts#=%d cannot be used.\n", k.w->hdba, k.w->tsn);
    return -1;
}

} // namespace

int scan_tablespace_blocks(SEGWALK *w, bool (*want)(SEGWALK *w, uint32_t rdba, const uint8_t *blk))
{
    if (w->bsz < (int)(sizeof(KCBH) + sizeof(KTBBH)) || w->area_blks < 1) {
        fprintf(stderr, "no room to scan ts#=%d.\n", w->tsn);
        return -1;
    }
    Walk k;
    k.w = w;
    k.faults.resize((size_t)w->area_blks);
    uint32_t found = 0;
    return scan_files(k, want, &found);
}

int walk_segment(SEGWALK *w)
{
    if (w->bsz < (int)(sizeof(KCBH) + sizeof(KTBBH)) || w->area_blks < 1) {
        fprintf(stderr, "no room to walk segment rdba=0x%08x.\n", w->hdba);
        return -1;
    }
    w->scanned = 0;
    Walk k;
    k.w = w;
    k.faults.resize((size_t)w->area_blks);
    static const BLOCK_WANT map_types = {
        {BLOCK_TYPE_SEGHDR_FL, BLOCK_TYPE_SEGHDR_ASSM, BLOCK_TYPE_EXTMAP_FL, BLOCK_TYPE_EXTMAP_ASSM}, 0};
    static const BLOCK_WANT header_types = {{BLOCK_TYPE_SEGHDR_FL, BLOCK_TYPE_SEGHDR_ASSM, 0, 0}, 0};
    uint32_t total = 0, known = 0;
    uint32_t prev = 0;
    DATAFILE *pdf = nullptr;
    for (uint32_t cur = w->hdba; cur != 0;) {
        bool head = cur == w->hdba && prev == 0;
        DATAFILE *df = segment_file(w, cur);
        if (df && (int)df->bsz != w->bsz) {
            fprintf(stderr, "extent map at rdba=0x%08x lies in a datafile of another block size.\n", cur);
            df = nullptr;
        }
        if (df && k.maps.count(block_key(df, cur))) {
            if (cur == prev)
                fprintf(stderr, "extent map at rdba=0x%08x names itself as the next one.\n", cur);
            print_block("extent map block", pdf, prev);
            fprintf(stderr, ": next map rdba=0x%08x was visited before, map chain ended.\n", cur);
            if (total > known)
                map_broken(w, pdf, prev, total, known);
            break;
        }
        uint8_t fault = BLOCK_NO_FILE;
        if (df) {
            k.maps.insert(block_key(df, cur));
            read_blocks_quiet(df, cur, 1, w->hblk, head ? &header_types : &map_types, &fault);
            if (fault == BLOCK_WRONG_TYPE && head && w->hblk[offsetof(KCBH, type_kcbh)] == BLOCK_TYPE_SEGHDR_FLG) {
                // A readable header of a kind whose extent map is not known:
                // refused whole, not scanned around.
                if (w->name)
                    fprintf(stderr, "table \"%s\": ", w->name);
                fprintf(stderr, "segment header rdba=0x%08x has free list groups (block type 0x11), not supported.\n",
                        cur);
                return -1;
            }
            if (fault == BLOCK_WRONG_TYPE)
                fprintf(stderr, "error block type: %x\n", w->hblk[offsetof(KCBH, type_kcbh)]);
            if (fault != BLOCK_GOOD)
                report_block(df, cur, fault);
        }
        if (fault != BLOCK_GOOD) {
            w->lost(w, df, cur, 1, fault);
            if (head)
                return header_lost(k);
            map_broken(w, df, cur, total, known);
            break;
        }
        uint8_t type = w->hblk[offsetof(KCBH, type_kcbh)];
        size_t moff = (size_t)extent_map_offset(type);
        const uint8_t *mh = w->hblk + moff;
        uint32_t nexts = get_le32(mh + offsetof(MAPHDR, nexts));
        uint32_t next = get_le32(mh + offsetof(MAPHDR, next));
        uint32_t fits = (uint32_t)(((size_t)w->bsz - moff - sizeof(MAPHDR)) / sizeof(EXTMAP));
        if (nexts > fits) {
            fprintf(stderr, "extent map at rdba=0x%08x lists %u extents, the block holds %u.\n", cur, nexts, fits);
            nexts = fits;
        }
        if (head) {
            total = get_le32(w->hblk + SEGHDR_NEXTS_OFFSET);
            k.hwm = get_le32(w->hblk + SEGHDR_HWM_OFFSET);
            progress_total(get_le32(w->hblk + SEGHDR_NBLKS_OFFSET));
        }
        // The extents are read into the area: hblk keeps the map meanwhile.
        for (uint32_t i = 0; i < nexts; i++) {
            EXTMAP e = extent_map_entry(w->hblk, (int)(moff + sizeof(MAPHDR)), i);
            uint64_t at = k.pos;
            k.pos += e.ext_len;
            uint32_t skip = 0, len = e.ext_len;
            if (w->blk_to != 0) {
                uint64_t s = at > w->blk_from ? at : w->blk_from, t = k.pos < w->blk_to ? k.pos : w->blk_to;
                len = s < t ? (uint32_t)(t - s) : 0;
                skip = s < t ? (uint32_t)(s - at) : at < w->blk_from ? e.ext_len : 0;
                // The blocks passed over before the range: only whether they
                // hold the high-water mark.
                if (k.hwm != 0 && k.hwm - e.ext_dba < skip)
                    k.above_hwm = true;
                if (len == 0)
                    continue;
            }
            int rc = read_extent(k, e.ext_dba + skip, len);
            if (rc != 0)
                return rc;
        }
        known += nexts;
        prev = cur;
        pdf = df;
        cur = next;
    }
    if (k.zero_unplaced > 0)
        fprintf(stderr, "%u all-zero blocks after a lost extent not counted: the high-water mark rdba=0x%08x may "
                        "have lain in it.\n", k.zero_unplaced, k.hwm);
    return 0;
}

bool plain_extents(SEGWALK *w, std::vector<uint32_t> *lens)
{
    static const BLOCK_WANT map_types = {
        {BLOCK_TYPE_SEGHDR_FL, BLOCK_TYPE_SEGHDR_ASSM, BLOCK_TYPE_EXTMAP_FL, BLOCK_TYPE_EXTMAP_ASSM}, 0};
    lens->clear();
    if (w->bsz < (int)(sizeof(KCBH) + sizeof(KTBBH)) || w->only)
        return false;
    std::set<uint64_t> maps;
    std::map<uint64_t, uint64_t> used;     // extent blocks: first -> end, keyed as block_key
    std::map<const DATAFILE *, uint64_t> sizes;
    for (uint32_t cur = w->hdba; cur != 0;) {
        DATAFILE *df = get_datafile(w->tsn, (int)rdba_file(cur));
        if (!df || (int)df->bsz != w->bsz || !maps.insert(block_key(df, cur)).second)
            return false;
        uint8_t fault = BLOCK_NO_FILE;
        read_blocks_quiet(df, cur, 1, w->hblk, &map_types, &fault);
        uint8_t type = w->hblk[offsetof(KCBH, type_kcbh)];
        if (fault != BLOCK_GOOD || (cur == w->hdba && maps.size() == 1 && type != BLOCK_TYPE_SEGHDR_FL &&
                                    type != BLOCK_TYPE_SEGHDR_ASSM))
            return false;
        size_t moff = (size_t)extent_map_offset(type);
        const uint8_t *mh = w->hblk + moff;
        uint32_t nexts = get_le32(mh + offsetof(MAPHDR, nexts));
        if (nexts > (uint32_t)(((size_t)w->bsz - moff - sizeof(MAPHDR)) / sizeof(EXTMAP)))
            return false;
        for (uint32_t i = 0; i < nexts; i++) {
            EXTMAP e = extent_map_entry(w->hblk, (int)(moff + sizeof(MAPHDR)), i);
            lens->push_back(e.ext_len);
            if (e.ext_len == 0)
                continue;
            DATAFILE *ef = get_datafile(w->tsn, (int)rdba_file(e.ext_dba));
            if (!ef || (int)ef->bsz != w->bsz)
                return false;
            uint64_t first = df_block_number(ef, e.ext_dba);
            if (first == 0 || e.ext_len > file_blocks(ef) - first)
                return false;
            auto sz = sizes.find(ef);
            if (sz == sizes.end()) {
                struct stat st;
                if (fstat(ef->fd, &st) != 0)
                    return false;
                sz = sizes.emplace(ef, (uint64_t)st.st_size).first;
            }
            // Every block whole inside the file: none meets its end.
            if (ef->blk0_sz + (uint64_t)ef->bsz * (first - 1 + e.ext_len) > sz->second)
                return false;
            uint64_t s = block_key(ef, e.ext_dba), end = s + e.ext_len;
            auto it = used.upper_bound(s);
            if ((it != used.end() && it->first < end) || (it != used.begin() && std::prev(it)->second > s))
                return false;
            used[s] = end;
        }
        cur = get_le32(mh + offsetof(MAPHDR, next));
    }
    return true;
}
