#include "cli/check_cases.h"

#include <algorithm>
#include <limits>
#include <random>
#include <stdexcept>
#include <utility>

#include "cli/check_link.h"
#include "protocol/frame.h"
#include "protocol/hex.h"
#include "protocol/join.h"
#include "protocol/scan.h"
#include "protocol/widgets.h"

namespace melvorin::cli {

namespace {

constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kLf = 0x0A;
// A request that must be answered is sent this often before it counts as
// unanswered: a reply lost on a radio link is no fault of the unit.
constexpr int kTries = 3;
// Scan requests sent at once by the burst case.
constexpr std::size_t kBurst = 16;
constexpr std::size_t kEverything = std::numeric_limits<std::size_t>::max();

// Seven bytes, the last a control character: no WPA2 network takes it (8 to
// 63 printable characters, or 64 hexadecimal digits), nor a WEP one.
const TIdBytes kBadKey = {'n', 'o', '-', 'k', 'e', 'y', 0x01};

std::string HexByte(std::uint8_t b) { return Hex(TIdBytes{b}); }

CaseReport& Judge(CaseReport& report, CaseResult result, std::string detail) {
    report.result = result;
    report.detail = std::move(detail);
    return report;
}

// Sends `request` until the unit answers, at most kTries times; true when it
// did. After a resend the replies to the sends before may still come: they
// are waited for here, not taken for answers to what is sent next.
bool Ask(UnitLink& link, const TIdBytes& request, double wait, CaseReport& report) {
    for (int i = 0; i < kTries; ++i) {
        link.Send(request);
        report.sent.push_back(request);
        std::vector<TIdBytes> got = link.Collect(1, wait);
        if (!got.empty() && i > 0) {
            const std::vector<TIdBytes> late = link.Collect(kEverything, wait);
            got.insert(got.end(), late.begin(), late.end());
        }
        report.seen.insert(report.seen.end(), got.begin(), got.end());
        if (!got.empty()) return true;
    }
    return false;
}

// Whether the unit still answers a scan request after a case (its reply is
// judged by the list-reply case alone, and is not the case's).
bool StillAnswers(UnitLink& link, const CheckPlan& plan) {
    CaseReport after;
    return Ask(link, BuildScanRequest(), plan.wait, after);
}

// What a station reads of a list reply, acceptance aside.
std::vector<TNetwork> StationReading(const TIdBytes& reply) {
    TRowRecorder read;
    try {
        HandleListReply(reply, read);
    } catch (const std::exception&) {
        // The rows read so far stay, as a station's do.
    }
    return read.rows;
}

CaseReport ListReply(UnitLink& link, const CheckPlan& plan) {
    CaseReport r{"list-reply", CaseResult::Pass, "", {}, {}};
    if (!Ask(link, BuildScanRequest(), plan.wait, r)) {
        return Judge(r, CaseResult::Fail, "no reply to the scan request, sent " + std::to_string(kTries) + " times");
    }
    const TIdBytes& reply = r.seen.front();
    const std::string problem = FrameProblem(reply, SsidListReply);
    if (!problem.empty()) return Judge(r, CaseResult::Fail, "the reply to the scan request: " + problem);
    return Judge(r, CaseResult::Pass,
                   "a list reply of " + std::to_string(reply.size()) + " bytes: lead byte ff, command 81, length byte " +
                       HexByte(reply[2]) + ", checksum " + HexByte(reply.back()) + " right");
}

CaseReport ListRecords(const std::vector<TIdBytes>& replies) {
    CaseReport r{"list-records", CaseResult::Pass, "", {}, {}};
    if (replies.empty()) return Judge(r, CaseResult::Fail, "no list reply to read");
    r.seen.push_back(replies.front());
    std::size_t records = 0;
    const std::string problem = RecordsProblem(replies.front(), records);
    if (!problem.empty()) return Judge(r, CaseResult::Fail, problem);
    return Judge(r, CaseResult::Pass,
                   std::to_string(records) + " records, each ending 0d 0a, as many as the count byte says; a station "
                                             "reads each back as sent");
}

// A frame the unit must not answer; the scan request after it it must.
CaseReport Ignores(UnitLink& link, const CheckPlan& plan, const char* name, const TIdBytes& frame,
                   const std::string& what) {
    CaseReport r{name, CaseResult::Pass, "", {frame}, {}};
    link.Send(frame);
    r.seen = link.Collect(kEverything, plan.wait);
    const bool answered = !r.seen.empty();
    if (answered) return Judge(r, CaseResult::Fail, "answered " + what + "; a unit ignores it");
    if (!StillAnswers(link, plan)) {
        return Judge(r, CaseResult::Fail, "ignored " + what + ", then did not answer the scan request after it");
    }
    return Judge(r, CaseResult::Pass, "ignored " + what + ", then answered the scan request after it");
}

// A scan request whose length byte says 255: a station never reads the
// length byte, so a unit may answer it or ignore it; it must not trust it.
CaseReport WrongLength(UnitLink& link, const CheckPlan& plan) {
    const TIdBytes frame = {kLeadByte, 0x00, 0xFF, ScanRequest, 0x00};  // checksum 00 + ff + 01
    CaseReport r{"wrong-length", CaseResult::Policy, "", {frame}, {}};
    link.Send(frame);
    r.seen = link.Collect(kEverything, plan.wait);
    const std::string what = r.seen.empty() ? "ignored" : "answered";
    if (!StillAnswers(link, plan)) {
        return Judge(r, CaseResult::Fail,
                       what + " a scan request whose length byte says 255, then did not answer the scan request after it");
    }
    return Judge(r, CaseResult::Policy,
                   what + " a scan request whose length byte says 255 (the unit's policy: either is right), then "
                          "answered the scan request after it");
}

// A join request the unit must refuse in one respect at least: a well-formed
// join result expected, its verdict the unit's own.
CaseReport Join(UnitLink& link, const CheckPlan& plan, const char* name, const TIdBytes& ssid, const TIdBytes& key,
                const std::string& what) {
    CaseReport r{name, CaseResult::Pass, "", {}, {}};
    if (!Ask(link, BuildJoinRequest(ssid, key), plan.wait, r)) {
        return Judge(r, CaseResult::Fail,
                       "no join result to " + what + ", sent " + std::to_string(kTries) + " times");
    }
    const TIdBytes result = r.seen.front();
    const std::string problem = FrameProblem(result, JoinResult);
    if (!problem.empty()) return Judge(r, CaseResult::Fail, "the reply to " + what + ": " + problem);
    if (!StillAnswers(link, plan)) {
        return Judge(r, CaseResult::Fail, "a join result to " + what + ", then no reply to a scan request");
    }
    const Verdict verdict = VerdictOf(ClassifyJoinResult(result));
    return Judge(r, CaseResult::Pass,
                   "a join result to " + what + ", then a reply to a scan request; its verdict (the unit's policy): " +
                       VerdictWord(verdict) + " (SSID " + HexByte(result[4]) + ", key " + HexByte(result[5]) + ")");
}

CaseReport Burst(UnitLink& link, const CheckPlan& plan) {
    CaseReport r{"burst", CaseResult::Pass, "", {}, {}};
    const TIdBytes scan = BuildScanRequest();
    for (std::size_t i = 0; i < kBurst; ++i) {
        link.Send(scan);
        r.sent.push_back(scan);
    }
    r.seen = link.Collect(kBurst, plan.wait * 2);
    const std::size_t answered = r.seen.size();
    const std::string told =
        "answered " + std::to_string(answered) + " of " + std::to_string(kBurst) + " scan requests sent at once";
    if (answered == 0) return Judge(r, CaseResult::Fail, told);
    if (!StillAnswers(link, plan)) return Judge(r, CaseResult::Fail, told + ", then did not answer one more");
    if (answered < kBurst) {
        return Judge(r, CaseResult::Policy, told + " (the rest dropped: the unit's policy), then one more");
    }
    return Judge(r, CaseResult::Pass, told + ", then one more");
}

}  // namespace

const char* CaseResultWord(CaseResult result) {
    switch (result) {
    case CaseResult::Pass: return "pass";
    case CaseResult::Fail: return "fail";
    case CaseResult::Policy: return "policy";
    case CaseResult::Skipped: break;
    }
    return "skipped";
}

std::string FrameProblem(const TIdBytes& frame, std::uint8_t command) {
    const std::size_t n = frame.size();
    if (n <= 6) return std::to_string(n) + " bytes; a station ignores a reply of 6 bytes or fewer";
    if (frame[0] != kLeadByte) return "lead byte " + HexByte(frame[0]) + ", not ff; a station ignores it";
    const std::uint8_t sum = CalcChecksum(frame.data() + 1, static_cast<int>(n - 2));
    if (sum != frame[n - 1]) {
        return "checksum " + HexByte(frame[n - 1]) + ", but offsets 1 to " + std::to_string(n - 2) + " sum to " +
               HexByte(sum) + "; a station ignores it";
    }
    if (frame[3] != command) return "command " + HexByte(frame[3]) + ", not " + HexByte(command);
    if (n - 4 <= 255 && std::size_t{frame[2]} != n - 4) {
        return "length byte " + HexByte(frame[2]) + ", not " + HexByte(static_cast<std::uint8_t>(n - 4)) + " (its " +
               std::to_string(n) + " bytes less 4)";
    }
    return "";
}

std::string RecordsProblem(const TIdBytes& reply, std::size_t& records) {
    records = 0;
    const std::size_t n = reply.size();
    if (n < 7) return "a reply of " + std::to_string(n) + " bytes holds no records";
    // Records run from offset 5 to the checksum, each ending 0D 0A.
    std::vector<std::pair<TIdBytes, std::uint8_t>> sent;
    std::size_t start = 5;
    for (std::size_t p = start + 1; p < n - 1; ++p) {
        if (reply[p - 1] != kCr || reply[p] != kLf) continue;
        if (p - start + 1 < 5) {
            return "record " + std::to_string(sent.size() + 1) + " (offset " + std::to_string(start) +
                   ") has no SSID: " + std::to_string(p - start + 1) + " bytes up to its 0d 0a";
        }
        sent.emplace_back(TIdBytes(reply.begin() + static_cast<std::ptrdiff_t>(start),
                                   reply.begin() + static_cast<std::ptrdiff_t>(p - 3)),
                          reply[p - 2]);
        start = p + 1;
    }
    records = sent.size();
    if (start != n - 1) {
        return std::to_string(n - 1 - start) + " bytes from offset " + std::to_string(start) +
               " on end in no 0d 0a before the checksum";
    }
    if (std::size_t{reply[4]} != records) {
        return "the count byte says " + std::to_string(reply[4]) + ", the reply holds " + std::to_string(records) +
               " records";
    }
    const std::vector<TNetwork> read = StationReading(reply);
    const bool same = std::equal(read.begin(), read.end(), sent.begin(), sent.end(), [](const TNetwork& a, const auto& b) {
        return a.bytes == b.first && a.strength == b.second;
    });
    if (!same) {
        return "a station reads " + std::to_string(read.size()) + " records from it, not the " +
               std::to_string(records) + " sent (a record's bytes form a 0d 0a with the count byte)";
    }
    return "";
}

TIdBytes UnlistedSsid(const std::vector<TIdBytes>& listed) {
    static const std::string kDigits = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    for (int tries = 0; tries < 1000; ++tries) {
        std::string name;
        for (int i = 0; i < 12; ++i) name += kDigits[random() % kDigits.size()];
        const TIdBytes ssid = TIdBytes(name.begin(), name.end());
        const bool unlike = std::none_of(listed.begin(), listed.end(), [&ssid](const TIdBytes& l) {
            const std::size_t common = std::min(l.size(), ssid.size());
            return std::equal(l.begin(), l.begin() + static_cast<std::ptrdiff_t>(common), ssid.begin());
        });
        if (unlike) return ssid;
    }
    throw std::runtime_error("no network name could be made unlike every listed one");
}

std::optional<std::vector<NetworkRow>> ListedBy(UnitLink& link, double wait) {
    CaseReport r;
    if (!Ask(link, BuildScanRequest(), wait, r)) return std::nullopt;
    std::vector<NetworkRow> networks;
    for (const TNetwork& n : StationReading(r.seen.front())) networks.push_back({n.text, n.bytes, n.strength});
    return networks;
}

std::vector<CaseReport> RunCases(UnitLink& link, const CheckPlan& plan) {
    std::vector<CaseReport> cases;
    // Each case in turn; whatever came late before it belongs to none.
    const auto run = [&link, &cases](CaseReport report) {
        cases.push_back(std::move(report));
        link.Collect(0, 0.0);
    };
    run(ListReply(link, plan));
    run(ListRecords(cases.back().seen));
    const TIdBytes scan = BuildScanRequest();
    TIdBytes badLead = scan;
    badLead[0] = 0xFE;
    TIdBytes badChecksum = scan;
    badChecksum.back() ^= 0x01;
    run(Ignores(link, plan, "ignores-bad-lead", badLead, "a scan request whose lead byte is fe"));
    run(Ignores(link, plan, "ignores-bad-checksum", badChecksum, "a scan request whose checksum is 03"));
    run(Ignores(link, plan, "ignores-bad-command", BuildFrame(SsidListReply, {0x00}),
                            "a frame of command 81 (a list reply's)"));
    run(WrongLength(link, plan));

    const TIdBytes unlisted = UnlistedSsid(plan.listed);
    const std::string shown(unlisted.begin(), unlisted.end());
    run(Join(link, plan, "join-unlisted-ssid", unlisted, kBadKey,
                         "a join request for the network \"" + shown + "\", which no unit listed"));
    if (plan.secured) {
        run(Join(link, plan, "join-bad-key", *plan.secured, kBadKey,
                             "a join request for the network of --secured with a key of 7 bytes, one a control "
                             "character"));
    } else {
        CaseReport skipped{"join-bad-key", CaseResult::Skipped, "", {}, {}};
        run(Judge(skipped, CaseResult::Skipped,
                                "no --secured network named: whether a listed network is open the list reply does "
                                "not say, and a unit joins an open network whatever the key"));
    }
    TIdBytes longKey(251 - unlisted.size(), '-');
    longKey.back() = 0x01;
    run(Join(link, plan, "join-length-255", unlisted, longKey,
                         "a join request of 259 bytes, its length byte 255 (the largest a station sends)"));
    run(Burst(link, plan));
    return cases;
}

}  // namespace melvorin::cli
