#include "check/FolderCheck.h"

#include <cerrno>
#include <cstring>
#include <optional>

#include "check/ChartReferences.h"
#include "check/ReferenceResolver.h"
#include "platform/DirectoryReader.h"
#include "search/HeaderReader.h"

namespace tamboro {
namespace {

// The charset of a chart's names: one decision for its header values and
// the names together, as its values are decoded.
Charset CharsetOfChart(const TagTable& values, const std::vector<ChartReference>& references)
{
    std::vector<std::string> fields(values.Values().begin(), values.Values().end());
    for (const ChartReference& reference : references)
        fields.push_back(reference.name);
    return DetectCharset(fields);
}

CheckKind KindOf(Resolution::Result result)
{
    switch (result) {
    case Resolution::Result::CaseMismatch:
        return CheckKind::CaseMismatch;
    case Resolution::Result::OutsideRoot:
        return CheckKind::OutsideRoot;
    default:
        return CheckKind::MissingFile;
    }
}

CheckProblem TooLarge(const std::string& path, const std::string& file, std::int64_t size)
{
    return CheckProblem{CheckKind::TooLarge,
                        path,
                        file,
                        std::to_string(size) + " bytes, more than the " +
                            std::to_string(ChartLines::kMaxChartBytes >> 20) + " MiB a chart is read to",
                        std::string(),
                        Charset::Utf8};
}

}  // namespace

std::string UnreadableReason(int error)
{
    return error == EINVAL ? std::string("not a regular file") : std::string(std::strerror(error));
}

FolderCheckResult FolderCheck::Run(const DirectoryListing& listing, const std::string& path,
                                   std::size_t levelsBelowRoot, const ChartTypes& types,
                                   const std::function<bool()>& stop)
{
    FolderCheckResult result;
    std::optional<ReferenceResolver> resolver;
    ChartReferenceReader referenceReader;
    TagTable values;
    const auto take = [&](std::string_view lines) {
        referenceReader.TakeLines(lines);
        HeaderReader::ParseLines(lines, values);
    };
    for (const auto& entry : listing.Entries()) {
        if (listing.IsDirectory(entry) || !types.Matches(listing.NameOf(entry)))
            continue;
        if (stop())
            break;
        const std::string file(listing.NameOf(entry));
        values.Clear();
        const ChartLines::Result read = m_lines.Read(listing.Fd(), listing.CNameOf(entry), take);
        const std::vector<ChartReference> references = referenceReader.Take();
        if (read.error != 0) {
            result.problems.push_back(CheckProblem{CheckKind::Unreadable, path, file, UnreadableReason(read.error),
                                                   std::string(), Charset::Utf8});
            continue;
        }
        if (read.tooLarge) {
            result.problems.push_back(TooLarge(path, file, read.size));
            continue;
        }
        result.charts.push_back(CheckedChart{path, file, read.size, read.quickHash});
        if (references.empty())
            continue;
        if (!resolver)
            resolver.emplace(path, FolderNames(listing), levelsBelowRoot);
        const Charset charset = CharsetOfChart(values, references);
        for (const ChartReference& reference : references) {
            const Resolution resolution = resolver->Resolve(reference, charset);
            if (resolution.result == Resolution::Result::Found)
                continue;
            result.problems.push_back(
                CheckProblem{KindOf(resolution.result), path, file, reference.name, resolution.found, charset});
        }
    }
    return result;
}

}  // namespace tamboro
