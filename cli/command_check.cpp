// kova check: is each archive sound? Every byte of the file is accounted for
// and every coded stream decoded to its end, with the format's own rules (not
// the forgiving reads of listing and extraction, which take damage without a
// word); each finding is told with the entry it concerns. With a manifest,
// every entry's content is held to the SHA-256 taken before.
#include <algorithm>
#include <cstdio>
#include <set>

#include "cli/archive_arguments.h"
#include "cli/archive_source.h"
#include "cli/commands.h"
#include "cli/content_hashes.h"
#include "cli/damage_report.h"
#include "cli/json_stream.h"
#include "cli/manifest.h"
#include "cli/messages.h"
#include "cli/text.h"

namespace kova::cli {
namespace {

enum class Severity { kProblem, kWarning, kNote };

// One line of the report, and its JSON record.
struct Told {
    Severity severity;
    int64_t index;  // -1: the archive as a whole
    std::string subject;
    std::string detail;
    Json record;
};

struct Checked {
    std::string shown;
    uint64_t entries = 0;
    bool opened = false;
    std::vector<Told> told;
};

Json IndexOrNull(int64_t index) { return index < 0 ? Json(nullptr) : Json(index); }

// The numbers behind a finding, by name, for --json.
void AddFields(const IntegrityFinding& finding, Json& record) {
    switch (finding.problem) {
    case IntegrityProblem::kHeaderCut:
        record["held"] = finding.actual;
        record["expected"] = finding.expected;
        break;
    case IntegrityProblem::kIndexCut:
        record["records_held"] = finding.actual;
        record["records"] = finding.expected;
        record["missing"] = finding.length;
        break;
    case IntegrityProblem::kCutShort:
        record["declared"] = finding.expected;
        record["held"] = finding.actual;
        record["missing"] = finding.expected - finding.actual;
        break;
    case IntegrityProblem::kPastEnd:
        record["end"] = finding.actual;
        record["limit"] = finding.expected;
        record["past"] = finding.past_file ? "file" : "archive";
        break;
    case IntegrityProblem::kOverlap:
        record["other"] = IndexOrNull(finding.other);
        record["other_end"] = finding.expected;
        break;
    case IntegrityProblem::kGap:
    case IntegrityProblem::kTrailingBytes:
        record["length"] = finding.length;
        break;
    case IntegrityProblem::kImpossibleSize:
        record["declared"] = finding.actual;
        record["most"] = finding.expected;
        break;
    case IntegrityProblem::kStreamEndsEarly:
    case IntegrityProblem::kCopyBeforeStart:
    case IntegrityProblem::kUnusedBytes: {
        static const char* const kStops[] = {"end_command", "input_exhausted", "output_full", "copy_before_start"};
        record["stop"] = kStops[static_cast<int>(finding.stop)];
        record["written"] = finding.actual;
        record["declared"] = finding.expected;
        record["missing"] = finding.expected - finding.actual;
        record["input_used"] = finding.input_used;
        record["unused"] = finding.unused;
        break;
    }
    case IntegrityProblem::kNotDecoded:
        record["declared"] = finding.expected;
        break;
    default:  // content warnings
        record["value"] = finding.actual;
        record["limit"] = finding.expected;
        record["at"] = finding.at;
        break;
    }
}

// `with_record`: the --json record is made only for --json; an archive of
// many shared ranges has as many notes, and text needs none of them.
Told TellFinding(const IntegrityFinding& finding, const ListedArchive& archive, Severity severity,
                 bool with_record = true) {
    DescribedFinding described = DescribeFinding(finding, archive.report);
    Told told{severity, finding.index, finding.index < 0 ? "" : FindingSubject(finding, archive), described.detail, {}};
    if (!with_record) return told;
    told.record = {{"kind", described.problem},
                   {"index", IndexOrNull(finding.index)},
                   {"name", finding.index < 0 ? Json(nullptr) : Json(Printable(archive.NameOf(static_cast<uint32_t>(finding.index))))},
                   {"offset", finding.offset}};
    AddFields(finding, told.record);
    told.record["detail"] = described.detail;
    return told;
}

Told TellArchive(const char* kind, const std::string& detail) {
    return {Severity::kProblem, -1, "", detail, {{"kind", kind}, {"index", nullptr}, {"name", nullptr}, {"detail", detail}}};
}

// A file that begins with the magic and that no reader opens may be one of
// ours cut inside its header or index: told as such, not as a stranger.
bool DiagnoseCut(const ArchiveSource& source, const ListedArchive& archive, Told& told) {
    if (source.FromStandardInput()) return false;
    std::FILE* file = OpenFile(source.path, "rb");
    if (file == nullptr) return false;
    uint8_t head[kValidatedBytes] = {};
    size_t got = 0;
    int64_t size = -1;
#ifdef _WIN32
    if (_fseeki64(file, 0, SEEK_END) == 0) size = _ftelli64(file);
    bool sought = _fseeki64(file, static_cast<__int64>(source.offset), SEEK_SET) == 0;
#else
    if (fseeko(file, 0, SEEK_END) == 0) size = ftello(file);
    bool sought = fseeko(file, static_cast<off_t>(source.offset), SEEK_SET) == 0;
#endif
    if (sought) got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    if (size < 0 || static_cast<uint64_t>(size) < source.offset) return false;
    IntegrityFinding finding{IntegrityProblem::kHeaderCut};
    if (!DiagnoseCutHead(ByteSpan(head, got), static_cast<uint64_t>(size) - source.offset, finding)) return false;
    told = TellFinding(finding, archive, Severity::kProblem);
    return true;
}

// A stream is read only as far as the archive reaches; what comes after it
// is counted here, so that a pipe shows trailing bytes as a file does. The
// count stops at a bound, so that an endless input still ends the check.
uint64_t DrainStandardInput() {
    constexpr uint64_t kMostCounted = uint64_t{1} << 20;
    uint64_t count = 0;
    char block[1 << 16];
    size_t got;
    while (count < kMostCounted && (got = std::fread(block, 1, sizeof block, stdin)) > 0) count += got;
    return count;
}

struct CheckRun {
    const CheckOptions& options;
    std::set<std::string> allowed;
    Manifest manifest;
    bool has_manifest = false;

    Severity SeverityOf(IntegrityProblem problem) const {
        if (allowed.count(FindingKey(problem)) != 0) return Severity::kNote;
        if (IsContentWarning(problem)) return options.strict ? Severity::kProblem : Severity::kWarning;
        return Severity::kProblem;
    }

    void CheckOne(const std::string& word, Checked& checked) {
        ArchiveSource source = SourceFor(word, options.source);
        ListedArchive archive;
        std::string error;
        checked.shown = word == "-" ? "standard input" : word;
        if (!OpenListedArchive(source, IntegrityDepth::kIndexAndHeads, archive, error)) {
            Told told;
            if (DiagnoseCut(source, archive, told)) {
                checked.told.push_back(told);
            } else {
                checked.told.push_back(TellArchive("unreadable", Printable(error)));
            }
            return;
        }
        checked.opened = true;
        checked.shown = archive.display;
        WalkOptions walk;
        // Inside a larger file, the bytes after the archive are that file's.
        walk.whole_file = source.FromStandardInput() || source.offset == 0;
        WalkArchive(archive.reader, IntegrityDepth::kFullDecode, archive.report, walk);
        if (source.FromStandardInput() && archive.streamed) AddUnreadTail(archive.report, DrainStandardInput());
        checked.entries = archive.Count();
        for (const IntegrityFinding& finding : archive.report.findings) {
            checked.told.push_back(TellFinding(finding, archive, SeverityOf(finding.problem), options.json));
        }
        for (const SharedRange& range : archive.report.shared) {
            uint32_t first = range.entries.front();
            IntegrityFinding subject{IntegrityProblem::kGap, first};
            std::string detail = DescribeShared(range, archive);
            Json record;
            if (options.json) {
                record = {{"kind", kSharedRangeKey}, {"index", first}, {"name", Printable(archive.NameOf(first))},
                          {"offset", range.data_offset}, {"length", range.stored_size},
                          {"entries", range.entries}, {"detail", detail}};
            }
            checked.told.push_back({Severity::kNote, first, FindingSubject(subject, archive), detail, record});
        }
        if (has_manifest) HoldToManifest(archive, checked);
        std::stable_sort(checked.told.begin(), checked.told.end(),
                         [](const Told& a, const Told& b) { return a.index < b.index; });
    }

    static void AddUnreadTail(IntegrityReport& report, uint64_t extra) {
        if (extra == 0) return;
        for (IntegrityFinding& finding : report.findings) {
            if (finding.problem == IntegrityProblem::kTrailingBytes) {
                finding.length += extra;
                return;
            }
        }
        IntegrityFinding finding{IntegrityProblem::kTrailingBytes, -1};
        finding.offset = std::max<uint64_t>(report.archive_size, report.available_bytes);
        finding.length = extra;
        auto after = std::find_if(report.findings.begin(), report.findings.end(),
                                  [](const IntegrityFinding& f) { return f.index >= 0; });
        report.findings.insert(after, finding);
    }

    void HoldToManifest(const ListedArchive& archive, Checked& checked) {
        std::string error;
        ManifestArchive* record = MatchArchive(manifest, archive, error);
        if (record == nullptr) {
            checked.told.push_back(TellArchive("not_in_manifest", error.empty() ? "the manifest holds no record of this archive (by its path or its SHA-256)" : error));
            return;
        }
        record->matched = true;
        ContentHasher hasher(archive);
        std::vector<ManifestDifference> differences;
        bool failed = false;
        CompareWithManifest(*record, hasher, differences, failed);
        for (const ManifestDifference& difference : differences) {
            std::string kind = difference.kind;
            std::string detail = kind == "content_changed" ? "its content differs from the manifest's (sha256 " +
                                                                 (difference.now.empty() ? std::string("none") : difference.now) +
                                                                 ", the manifest's " + difference.was + ")"
                                 : kind == "entry_appeared" ? "the manifest has no such entry: it appeared since"
                                                            : "the manifest's entry is gone from the archive";
            std::string subject = "entry " + std::to_string(difference.index) + " (" + Printable(difference.name) + ")";
            Json json = {{"kind", kind}, {"index", difference.index}, {"name", Printable(difference.name)},
                         {"sha256", difference.now.empty() ? Json(nullptr) : Json(difference.now)},
                         {"manifest_sha256", difference.was.empty() ? Json(nullptr) : Json(difference.was)},
                         {"detail", detail}};
            checked.told.push_back({Severity::kProblem, difference.index, subject, detail, json});
        }
    }
};

size_t CountOfSeverity(const Checked& checked, Severity severity) {
    return static_cast<size_t>(std::count_if(checked.told.begin(), checked.told.end(),
                                             [&](const Told& told) { return told.severity == severity; }));
}

Json JsonOf(const Checked& checked) {
    Json by[3] = {Json::array(), Json::array(), Json::array()};
    for (const Told& told : checked.told) {
        Json record = told.record;
        // Scripts written before "kind" read a problem's kind as "problem".
        if (told.severity == Severity::kProblem) record["problem"] = record["kind"];
        by[static_cast<int>(told.severity)].push_back(record);
    }
    return {{"archive", Printable(checked.shown)}, {"entries", checked.opened ? Json(checked.entries) : Json(nullptr)},
            {"problems", by[0]}, {"warnings", by[1]}, {"notes", by[2]}};
}

void PrintText(const Checked& checked, bool several) {
    std::string prefix = Printable(checked.shown) + ": ";
    for (const Told& told : checked.told) {
        const char* severity = told.severity == Severity::kWarning ? "warning: " : told.severity == Severity::kNote ? "note: " : "";
        std::string subject = told.subject.empty() ? "" : told.subject + ": ";
        std::printf("%s%s%s%s\n", prefix.c_str(), severity, subject.c_str(), told.detail.c_str());
    }
    if (several) {
        size_t found = CountOfSeverity(checked, Severity::kProblem);
        std::printf("%s%s\n", prefix.c_str(), found == 0 ? "OK" : CountOf(found, "problem", "problems").c_str());
    }
}

}  // namespace

int RunCheck(const CheckOptions& options) {
    std::string error;
    CheckRun run{options, {options.allow.begin(), options.allow.end()}, {}, false};
    if (!options.manifest.empty()) {
        if (!ReadManifest(options.manifest, run.manifest, error)) {
            ReportError(error);
            return kExitFailure;
        }
        run.has_manifest = true;
    }
    bool several = options.archives.size() > 1;
    uint64_t entries = 0, problems = 0, warnings = 0, notes = 0;
    std::vector<Checked> documents;
    auto tally = [&](const Checked& checked) {
        entries += checked.entries;
        problems += CountOfSeverity(checked, Severity::kProblem);
        warnings += CountOfSeverity(checked, Severity::kWarning);
        notes += CountOfSeverity(checked, Severity::kNote);
    };
    JsonArrayWriter array;
    bool any_json = false;
    auto emit = [&](Checked& checked) {
        tally(checked);
        if (!options.json) {
            PrintText(checked, several);
            return;
        }
        // Each document goes out as soon as it is made.
        if (several || run.has_manifest) {
            if (!any_json) array.Begin();
            array.Add(JsonOf(checked));
        } else {
            std::printf("%s\n", JsonOf(checked).dump(2).c_str());
        }
        any_json = true;
    };
    for (const std::string& word : options.archives) {
        Checked checked;
        run.CheckOne(word, checked);
        emit(checked);
    }
    // Archives the manifest holds that the command line left out.
    if (run.has_manifest) {
        for (const ManifestArchive& record : run.manifest.archives) {
            if (record.matched) continue;
            Checked missing;
            missing.shown = record.path;
            missing.told.push_back(TellArchive("archive_missing", "the manifest holds this archive (" +
                                                                      CountOf(record.entries.size(), "entry", "entries") +
                                                                      "), the command line does not"));
            emit(missing);
        }
    }
    if (options.json) {
        if (any_json && (several || run.has_manifest)) {
            array.End();
            std::printf("\n");
        }
    } else {
        std::string line = CountOf(entries, "entry", "entries") + ", " + CountOf(problems, "problem", "problems");
        if (warnings != 0) line += ", " + CountOf(warnings, "warning", "warnings");
        if (notes != 0) line += ", " + CountOf(notes, "note", "notes");
        std::printf("%s\n", line.c_str());
    }
    return problems == 0 ? kExitSuccess : kExitFailure;
}

}  // namespace kova::cli
