#include "capture/scanline_deflate.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 258;
constexpr size_t kWindow = 32768;
constexpr int kHashBits = 16;
// Eight bytes are hashed to find earlier places: screens hold few colours,
// and with a shorter key every run and glyph edge would share one chain.
constexpr size_t kHashedBytes = 8;
// Chain positions tried for each position; screens match near or not at all.
constexpr int kChainDepth = 24;
// A match at least this long is taken without weighing the others: long
// matches are flat panels, where nothing beats them.
constexpr int kNiceLength = 64;
// Positions parsed at once, and input per deflate block.
constexpr size_t kSegmentBytes = size_t(1) << 15;
constexpr size_t kBlockBytes = size_t(1) << 18;
constexpr int kMostCandidates = 8;
// A match carried on from the position before and still longer than this
// is not searched past; and of each match only the longest few lengths are
// weighed.
constexpr int kCarriedLength = 24;
constexpr int kLengthsWeighed = 16;
constexpr int kLitLenSymbols = 286, kDistanceSymbols = 30, kCodeLengthSymbols = 19;
constexpr int kEndOfBlock = 256;

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10,  11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistanceBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,    25,
                                        33,   49,   65,   97,   129,  193,   257,   385,   513,   769,
                                        1025, 1537, 2049, 3073, 4097, 6145,  8193,  12289, 16385, 24577};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kCodeLengthOrder[kCodeLengthSymbols] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                          11, 4,  12, 3, 13, 2, 14, 1, 15};

struct CodeTables {
    uint8_t LengthCode[kMaxMatch + 1];  // match length to its index in kLengthBase
    uint8_t DistanceCode[512];          // distance - 1 below 256, else 256 + ((distance - 1) >> 7)

    CodeTables() {
        for (int code = 0; code < 29; ++code) {
            const int last = code == 28 ? kMaxMatch : kLengthBase[code + 1] - 1;
            for (int length = kLengthBase[code]; length <= last; ++length) LengthCode[length] = uint8_t(code);
        }
        LengthCode[kMaxMatch] = 28;
        for (int code = 0; code < 30; ++code) {
            const int last = kDistanceBase[code] + (1 << kDistanceExtra[code]) - 1;
            for (int distance = kDistanceBase[code]; distance <= last; ++distance) {
                if (distance <= 256)
                    DistanceCode[distance - 1] = uint8_t(code);
                else
                    DistanceCode[256 + ((distance - 1) >> 7)] = uint8_t(code);
            }
        }
    }
    int DistanceSymbol(uint32_t distance) const {
        return distance <= 256 ? DistanceCode[distance - 1] : DistanceCode[256 + ((distance - 1) >> 7)];
    }
};

struct Match {
    uint16_t Length;
    uint16_t Distance;
};
// One step of the parse: a match, or a literal byte (held in Length) with Distance 0.
using Step = Match;

// How often each symbol of a block is sent; its end counts once.
struct SymbolCounts {
    uint32_t LitLen[kLitLenSymbols] = {};
    uint32_t Distance[kDistanceSymbols] = {};
};

class BitWriter {
public:
    explicit BitWriter(std::vector<unsigned char>& out) : out_(out) {}
    void Put(uint32_t value, int count) {
        pending_ |= uint64_t(value) << pendingBits_;
        pendingBits_ += count;
        while (pendingBits_ >= 8) {
            out_.push_back(static_cast<unsigned char>(pending_));
            pending_ >>= 8;
            pendingBits_ -= 8;
        }
    }
    void Align() {
        if (pendingBits_ > 0) out_.push_back(static_cast<unsigned char>(pending_));
        pending_ = 0;
        pendingBits_ = 0;
    }

private:
    std::vector<unsigned char>& out_;
    uint64_t pending_ = 0;
    int pendingBits_ = 0;
};

// Code lengths of an optimal prefix code for `frequencies`, none longer than
// `limit`, unused symbols 0. At least two symbols get a code: inflate takes
// only complete codes.
void BuildCodeLengths(const uint32_t* frequencies, int symbols, int limit, uint8_t* lengths) {
    std::fill(lengths, lengths + symbols, uint8_t(0));
    int used[kLitLenSymbols];
    int count = 0;
    for (int s = 0; s < symbols; ++s)
        if (frequencies[s]) used[count++] = s;
    if (count < 2) {
        const int only = count ? used[0] : 0;
        lengths[only] = 1;
        lengths[only == 0 ? 1 : 0] = 1;
        return;
    }
    std::sort(used, used + count, [&](int a, int b) {
        return frequencies[a] != frequencies[b] ? frequencies[a] < frequencies[b] : a < b;
    });
    // Huffman's merge with two queues: leaves in order of weight, then the
    // merged nodes, which come out in order of weight too.
    uint64_t weight[2 * kLitLenSymbols] = {};
    int parent[2 * kLitLenSymbols] = {};
    int depth[2 * kLitLenSymbols] = {};
    for (int i = 0; i < count; ++i) weight[i] = frequencies[used[i]];
    int nextLeaf = 0, nextNode = count, end = count;
    for (int merge = 0; merge < count - 1; ++merge) {
        int pick[2];
        for (int& chosen : pick)
            chosen = nextLeaf < count && (nextNode >= end || weight[nextLeaf] <= weight[nextNode]) ? nextLeaf++
                                                                                                      : nextNode++;
        weight[end] = weight[pick[0]] + weight[pick[1]];
        parent[pick[0]] = parent[pick[1]] = end;
        ++end;
    }
    depth[end - 1] = 0;
    int lengthCount[2 * kLitLenSymbols] = {};
    int deepest = 0;
    for (int node = end - 2; node >= 0; --node) {
        depth[node] = depth[parent[node]] + 1;
        if (node < count) {
            ++lengthCount[depth[node]];
            deepest = std::max(deepest, depth[node]);
        }
    }
    // Leaves below the limit move up in pairs; each pair's place is taken
    // by a shallower leaf that gains a sibling (the adjustment of JPEG's
    // Annex K.3), which keeps the code complete.
    for (int level = deepest; level > limit; --level) {
        while (lengthCount[level] > 0) {
            int shallower = level - 2;
            while (lengthCount[shallower] == 0) --shallower;
            lengthCount[level] -= 2;
            lengthCount[level - 1] += 1;
            lengthCount[shallower + 1] += 2;
            lengthCount[shallower] -= 1;
        }
    }
    // The longest codes go to the rarest symbols.
    int next = 0;
    for (int length = std::min(deepest, limit); length >= 1; --length)
        for (int i = 0; i < lengthCount[length]; ++i) lengths[used[next++]] = uint8_t(length);
}

// Canonical codes, bit-reversed: deflate sends a code's first bit first.
void AssignCodes(const uint8_t* lengths, int symbols, uint16_t* codes) {
    int lengthCount[16] = {};
    for (int s = 0; s < symbols; ++s) ++lengthCount[lengths[s]];
    lengthCount[0] = 0;
    int next[16] = {};
    int code = 0;
    for (int length = 1; length < 16; ++length) {
        code = (code + lengthCount[length - 1]) << 1;
        next[length] = code;
    }
    for (int s = 0; s < symbols; ++s) {
        const int length = lengths[s];
        if (!length) {
            codes[s] = 0;
            continue;
        }
        uint32_t forward = uint32_t(next[length]++), reversed = 0;
        for (int bit = 0; bit < length; ++bit, forward >>= 1) reversed = reversed << 1 | (forward & 1);
        codes[s] = uint16_t(reversed);
    }
}

uint32_t Adler32(const unsigned char* data, size_t size) {
    uint32_t a = 1, b = 0;
    while (size > 0) {
        const size_t run = std::min<size_t>(size, 5552);
        size -= run;
        for (size_t i = 0; i < run; ++i) {
            a += data[i];
            b += a;
        }
        data += run;
        a %= 65521;
        b %= 65521;
    }
    return b << 16 | a;
}

int CommonLength(const unsigned char* a, const unsigned char* b, int limit) {
    int length = 0;
    while (length + 8 <= limit) {
        uint64_t x, y;
        std::memcpy(&x, a + length, 8);
        std::memcpy(&y, b + length, 8);
        if (x != y) return length + __builtin_ctzll(x ^ y) / 8;
        length += 8;
    }
    while (length < limit && a[length] == b[length]) ++length;
    return length;
}

// Bits each symbol costs under the codes of the block so far.
struct CostModel {
    uint32_t Literal[256];
    uint32_t Length[kMaxMatch + 1];
    uint32_t Distance[kDistanceSymbols];

    void Estimate(const CodeTables& tables, const uint8_t* litLenLengths, const uint8_t* distanceLengths) {
        // A symbol without a code may well get one: it is priced as a rare one.
        auto price = [](uint8_t length, uint32_t unused) { return length ? uint32_t(length) : unused; };
        for (int b = 0; b < 256; ++b) Literal[b] = price(litLenLengths[b], 13);
        for (int length = kMinMatch; length <= kMaxMatch; ++length) {
            const int code = tables.LengthCode[length];
            Length[length] = price(litLenLengths[257 + code], 13) + kLengthExtra[code];
        }
        for (int code = 0; code < kDistanceSymbols; ++code)
            Distance[code] = price(distanceLengths[code], 10) + kDistanceExtra[code];
    }
    void Initial(const CodeTables& tables) {
        uint8_t litLen[kLitLenSymbols], distance[kDistanceSymbols];
        std::fill(litLen, litLen + kLitLenSymbols, uint8_t(9));
        for (int s = 257; s < kLitLenSymbols; ++s) litLen[s] = uint8_t(s < 265 ? 6 : 8);
        std::fill(distance, distance + kDistanceSymbols, uint8_t(5));
        Estimate(tables, litLen, distance);
    }
};

class ScanlineDeflater {
public:
    ScanlineDeflater(const unsigned char* data, size_t size, size_t lineBytes, std::vector<unsigned char>& out)
        : data_(data), size_(size), lineBytes_(lineBytes), out_(out), bits_(out) {}

    bool Run();

private:
    void FindMatches(size_t begin, size_t end);
    void Parse(size_t begin, size_t end, const CostModel& model, std::vector<Step>& steps);
    void CountSteps(const std::vector<Step>& steps, SymbolCounts& counts) const;
    void WriteBlock(const std::vector<Step>& steps, const SymbolCounts& counts, bool last);
    void Insert(size_t position);
    uint32_t Hash(size_t position) const {
        uint64_t word;
        std::memcpy(&word, data_ + position, kHashedBytes);
        return uint32_t((word * 0x9E3779B97F4A7C15ull) >> (64 - kHashBits));
    }

    const unsigned char* data_;
    size_t size_;
    size_t lineBytes_;
    std::vector<unsigned char>& out_;
    BitWriter bits_;
    CodeTables tables_;
    std::unique_ptr<int32_t[]> head_, previous_;
    // Per position of the segment: its matches, nearest first and each
    // longer than the one before; `forced_` marks one taken outright.
    std::vector<Match> matches_;
    std::vector<uint32_t> firstMatch_;
    std::vector<uint8_t> matchCount_, forced_;
    std::vector<uint32_t> cost_;
    std::vector<Match> choice_;
};

void ScanlineDeflater::Insert(size_t position) {
    if (position + kHashedBytes > size_) return;
    const uint32_t hash = Hash(position);
    previous_[position & (kWindow - 1)] = head_[hash];
    head_[hash] = int32_t(position);
}

void ScanlineDeflater::FindMatches(size_t begin, size_t end) {
    const size_t count = end - begin;
    matches_.clear();
    firstMatch_.assign(count, 0);
    matchCount_.assign(count, 0);
    forced_.assign(count, 0);
    size_t position = begin;
    Match carried{0, 0};
    while (position < end) {
        const size_t offset = position - begin;
        const int limit = int(std::min<size_t>(kMaxMatch, end - position));
        firstMatch_[offset] = uint32_t(matches_.size());
        int kept = 0, best = kMinMatch - 1;
        const unsigned char* here = data_ + position;
        // Tried nearest first, a match is kept only when it is longer than
        // every nearer one; past the last place, a longer one replaces the last.
        auto consider = [&](size_t distance) {
            const unsigned char* there = here - distance;
            if (best >= limit || there[best] != here[best]) return;
            const int length = CommonLength(here, there, limit);
            if (length <= best) return;
            best = length;
            if (kept == kMostCandidates) matches_.pop_back(); else ++kept;
            matches_.push_back(Match{uint16_t(length), uint16_t(distance)});
        };
        if (limit >= kMinMatch) {
            const bool rowAbove = lineBytes_ > 1 && lineBytes_ <= kWindow && position >= lineBytes_;
            bool rowAboveTried = !rowAbove;
            if (position >= 1) consider(1);
            // Where the match before is still long here, its distance is
            // tried alone: searching again finds it, at the cost of the search.
            if (carried.Length > kCarriedLength) {
                if (carried.Distance != 1 && carried.Distance != lineBytes_) consider(carried.Distance);
            } else if (best < kNiceLength && position + kHashedBytes <= size_) {
                int32_t candidate = head_[Hash(position)];
                for (int step = 0; step < kChainDepth && candidate >= 0 && best < limit; ++step) {
                    const size_t distance = position - size_t(candidate);
                    if (distance > kWindow) break;
                    if (!rowAboveTried && distance >= lineBytes_) {
                        consider(lineBytes_);
                        rowAboveTried = true;
                    }
                    if (distance != 1 && distance != lineBytes_) consider(distance);
                    candidate = previous_[size_t(candidate) & (kWindow - 1)];
                }
            }
            if (!rowAboveTried) consider(lineBytes_);
        }
        matchCount_[offset] = uint8_t(kept);
        carried = kept ? Match{uint16_t(matches_.back().Length - 1), matches_.back().Distance} : Match{0, 0};
        Insert(position);
        if (best >= kNiceLength) {
            // The rest of a long match is a shorter match of the same
            // distance: the parse may still end a match inside it.
            forced_[offset] = 1;
            const Match taken = matches_.back();
            matches_.resize(firstMatch_[offset]);
            matches_.push_back(taken);
            matchCount_[offset] = 1;
            // Inside a run only the last places are worth finding again.
            const int unhashed = taken.Distance == 1 ? taken.Length - int(kHashedBytes) : 0;
            for (int skip = 1; skip < taken.Length; ++skip) {
                const size_t inner = offset + size_t(skip);
                if (skip >= unhashed) Insert(position + size_t(skip));
                firstMatch_[inner] = uint32_t(matches_.size());
                forced_[inner] = 1;
                if (taken.Length - skip >= kMinMatch) {
                    matches_.push_back(Match{uint16_t(taken.Length - skip), taken.Distance});
                    matchCount_[inner] = 1;
                }
            }
            position += taken.Length;
        } else {
            ++position;
        }
    }
}

void ScanlineDeflater::Parse(size_t begin, size_t end, const CostModel& model, std::vector<Step>& steps) {
    const size_t count = end - begin;
    cost_.assign(count + 1, 0);
    choice_.assign(count, Match{0, 0});
    for (size_t offset = count; offset-- > 0;) {
        const Match* match = matches_.data() + firstMatch_[offset];
        if (forced_[offset] && matchCount_[offset]) {
            // Within a long match only its rest is weighed.
            const Match rest = match[0];
            cost_[offset] = model.Length[rest.Length] + model.Distance[tables_.DistanceSymbol(rest.Distance)] +
                            cost_[offset + rest.Length];
            choice_[offset] = rest;
            continue;
        }
        uint32_t bestCost = model.Literal[data_[begin + offset]] + cost_[offset + 1];
        Match bestChoice{0, 0};
        int shorter = kMinMatch - 1;
        for (int m = 0; m < matchCount_[offset]; ++m) {
            const uint32_t distanceCost = model.Distance[tables_.DistanceSymbol(match[m].Distance)];
            const int from = std::max(shorter + 1, int(match[m].Length) - kLengthsWeighed);
            for (int length = from; length <= match[m].Length; ++length) {
                const uint32_t total = model.Length[length] + distanceCost + cost_[offset + size_t(length)];
                if (total < bestCost) {
                    bestCost = total;
                    bestChoice = Match{uint16_t(length), match[m].Distance};
                }
            }
            shorter = match[m].Length;
        }
        cost_[offset] = bestCost;
        choice_[offset] = bestChoice;
    }
    steps.clear();
    for (size_t offset = 0; offset < count;) {
        const Match chosen = choice_[offset];
        if (chosen.Length) {
            steps.push_back(Step{chosen.Length, chosen.Distance});
            offset += chosen.Length;
        } else {
            steps.push_back(Step{data_[begin + offset], 0});
            ++offset;
        }
    }
}

void ScanlineDeflater::CountSteps(const std::vector<Step>& steps, SymbolCounts& counts) const {
    for (const Step& step : steps) {
        if (step.Distance == 0) {
            ++counts.LitLen[step.Length];
        } else {
            ++counts.LitLen[257 + tables_.LengthCode[step.Length]];
            ++counts.Distance[tables_.DistanceSymbol(step.Distance)];
        }
    }
}

void ScanlineDeflater::WriteBlock(const std::vector<Step>& steps, const SymbolCounts& counts, bool last) {
    uint8_t litLenLengths[kLitLenSymbols], distanceLengths[kDistanceSymbols];
    BuildCodeLengths(counts.LitLen, kLitLenSymbols, 15, litLenLengths);
    BuildCodeLengths(counts.Distance, kDistanceSymbols, 15, distanceLengths);
    uint16_t litLenCodes[kLitLenSymbols], distanceCodes[kDistanceSymbols];
    AssignCodes(litLenLengths, kLitLenSymbols, litLenCodes);
    AssignCodes(distanceLengths, kDistanceSymbols, distanceCodes);

    int litLenUsed = kLitLenSymbols, distanceUsed = kDistanceSymbols;
    while (litLenUsed > 257 && litLenLengths[litLenUsed - 1] == 0) --litLenUsed;
    while (distanceUsed > 1 && distanceLengths[distanceUsed - 1] == 0) --distanceUsed;
    uint8_t lengths[kLitLenSymbols + kDistanceSymbols];
    std::memcpy(lengths, litLenLengths, size_t(litLenUsed));
    std::memcpy(lengths + litLenUsed, distanceLengths, size_t(distanceUsed));
    const int total = litLenUsed + distanceUsed;

    // The code lengths, run-length coded: 16 repeats the last length 3 to 6
    // times, 17 and 18 give 3 to 10 and 11 to 138 zeros.
    struct Token {
        uint8_t Symbol, Extra;
    };
    Token tokens[kLitLenSymbols + kDistanceSymbols];
    int tokenCount = 0;
    for (int i = 0; i < total;) {
        const uint8_t value = lengths[i];
        int run = 1;
        while (i + run < total && lengths[i + run] == value) ++run;
        i += run;
        if (value == 0) {
            while (run >= 11) {
                const int n = std::min(run, 138);
                tokens[tokenCount++] = Token{18, uint8_t(n - 11)};
                run -= n;
            }
            if (run >= 3) {
                tokens[tokenCount++] = Token{17, uint8_t(run - 3)};
                run = 0;
            }
        } else {
            tokens[tokenCount++] = Token{value, 0};
            --run;
            while (run >= 3) {
                const int n = std::min(run, 6);
                tokens[tokenCount++] = Token{16, uint8_t(n - 3)};
                run -= n;
            }
        }
        while (run-- > 0) tokens[tokenCount++] = Token{value, 0};
    }
    uint32_t codeLengthCount[kCodeLengthSymbols] = {};
    for (int t = 0; t < tokenCount; ++t) ++codeLengthCount[tokens[t].Symbol];
    uint8_t codeLengthLengths[kCodeLengthSymbols];
    uint16_t codeLengthCodes[kCodeLengthSymbols];
    BuildCodeLengths(codeLengthCount, kCodeLengthSymbols, 7, codeLengthLengths);
    AssignCodes(codeLengthLengths, kCodeLengthSymbols, codeLengthCodes);
    int codeLengthsSent = kCodeLengthSymbols;
    while (codeLengthsSent > 4 && codeLengthLengths[kCodeLengthOrder[codeLengthsSent - 1]] == 0) --codeLengthsSent;

    bits_.Put(last ? 1 : 0, 1);
    bits_.Put(2, 2);
    bits_.Put(uint32_t(litLenUsed - 257), 5);
    bits_.Put(uint32_t(distanceUsed - 1), 5);
    bits_.Put(uint32_t(codeLengthsSent - 4), 4);
    for (int i = 0; i < codeLengthsSent; ++i) bits_.Put(codeLengthLengths[kCodeLengthOrder[i]], 3);
    for (int t = 0; t < tokenCount; ++t) {
        const Token token = tokens[t];
        bits_.Put(codeLengthCodes[token.Symbol], codeLengthLengths[token.Symbol]);
        if (token.Symbol == 16) bits_.Put(token.Extra, 2);
        if (token.Symbol == 17) bits_.Put(token.Extra, 3);
        if (token.Symbol == 18) bits_.Put(token.Extra, 7);
    }
    for (const Step& step : steps) {
        if (step.Distance == 0) {
            bits_.Put(litLenCodes[step.Length], litLenLengths[step.Length]);
            continue;
        }
        const int lengthCode = tables_.LengthCode[step.Length];
        bits_.Put(litLenCodes[257 + lengthCode], litLenLengths[257 + lengthCode]);
        bits_.Put(uint32_t(step.Length - kLengthBase[lengthCode]), kLengthExtra[lengthCode]);
        const int distanceCode = tables_.DistanceSymbol(step.Distance);
        bits_.Put(distanceCodes[distanceCode], distanceLengths[distanceCode]);
        bits_.Put(uint32_t(step.Distance - kDistanceBase[distanceCode]), kDistanceExtra[distanceCode]);
    }
    bits_.Put(litLenCodes[kEndOfBlock], litLenLengths[kEndOfBlock]);
}

bool ScanlineDeflater::Run() {
    head_.reset(new (std::nothrow) int32_t[size_t(1) << kHashBits]);
    previous_.reset(new (std::nothrow) int32_t[kWindow]);
    if (!head_ || !previous_) return false;
    std::fill(head_.get(), head_.get() + (size_t(1) << kHashBits), -1);
    std::fill(previous_.get(), previous_.get() + kWindow, -1);

    // zlib's header: 32 KB window, the best compression; then the blocks.
    out_.push_back(0x78);
    out_.push_back(0xDA);
    CostModel model;
    model.Initial(tables_);
    std::vector<Step> block, segment;
    SymbolCounts counts;
    counts.LitLen[kEndOfBlock] = 1;
    size_t blockStart = 0;
    for (size_t begin = 0; begin < size_ || size_ == 0;) {
        const size_t end = std::min(size_, begin + kSegmentBytes);
        FindMatches(begin, end);
        // Parsed with the codes the block so far implies: a second parse
        // with the segment's own codes saved under 1 % in twice the time.
        Parse(begin, end, model, segment);
        CountSteps(segment, counts);
        uint8_t litLenLengths[kLitLenSymbols], distanceLengths[kDistanceSymbols];
        BuildCodeLengths(counts.LitLen, kLitLenSymbols, 15, litLenLengths);
        BuildCodeLengths(counts.Distance, kDistanceSymbols, 15, distanceLengths);
        model.Estimate(tables_, litLenLengths, distanceLengths);
        block.insert(block.end(), segment.begin(), segment.end());
        begin = end;
        const bool last = begin >= size_;
        if (last || begin - blockStart >= kBlockBytes) {
            WriteBlock(block, counts, last);
            block.clear();
            counts = SymbolCounts{};
            counts.LitLen[kEndOfBlock] = 1;
            blockStart = begin;
        }
        if (last) break;
    }
    bits_.Align();
    const uint32_t adler = Adler32(data_, size_);
    for (int shift = 24; shift >= 0; shift -= 8) out_.push_back(static_cast<unsigned char>(adler >> shift));
    return true;
}

}  // namespace

bool DeflateScanlines(const unsigned char* data, size_t size, size_t lineBytes, std::vector<unsigned char>& out) {
    out.clear();
    try {
        ScanlineDeflater deflater(data, size, lineBytes, out);
        if (deflater.Run()) return true;
    } catch (const std::bad_alloc&) {
    }
    out.clear();
    return false;
}
