#include "check/FolderCheck.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "check/ChartReferences.h"
#include "check/ReferenceResolver.h"
#include "platform/DirectoryReader.h"
#include "platform/Eintr.h"
#include "search/HeaderReader.h"

namespace tamboro {
namespace {

// The charset of a chart's names: one decision for its header values and
// the names together, as its values are decoded.
Charset CharsetOfChart(std::string_view bytes, const std::vector<ChartReference>& references)
{
    TagTable values;
    HeaderReader::ParseBytes(bytes, values);
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

}  // namespace

int ReadWholeChart(int dirFd, const char* name, std::string& bytes, struct stat* status)
{
    const int fd = RetryOnEintr([&] { return ::openat(dirFd, name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK); });
    if (fd < 0)
        return errno;
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        const int error = S_ISREG(opened.st_mode) ? errno : EINVAL;
        ::close(fd);
        return error;
    }
    if (status != nullptr)
        *status = opened;
    // One byte more than the size: the read that gives 0 ends the file
    // without another call when the size was right.
    bytes.resize(static_cast<std::size_t>(std::max<off_t>(opened.st_size, 0)) + 1);
    std::size_t used = 0;
    int error = 0;
    for (;;) {
        if (used == bytes.size())
            bytes.resize(bytes.size() * 2);
        const ssize_t got = RetryOnEintr([&] { return ::read(fd, bytes.data() + used, bytes.size() - used); });
        if (got < 0)
            error = errno;
        if (got <= 0)
            break;
        used += static_cast<std::size_t>(got);
    }
    ::close(fd);
    bytes.resize(used);
    return error;
}

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
    for (const auto& entry : listing.Entries()) {
        if (listing.IsDirectory(entry) || !types.Matches(listing.NameOf(entry)))
            continue;
        if (stop())
            break;
        const std::string file(listing.NameOf(entry));
        if (const int error = ReadWholeChart(listing.Fd(), listing.CNameOf(entry), m_bytes)) {
            result.problems.push_back(
                CheckProblem{CheckKind::Unreadable, path, file, UnreadableReason(error), std::string(), Charset::Utf8});
            continue;
        }
        result.charts.push_back(
            CheckedChart{path, file, static_cast<int64_t>(m_bytes.size()), std::hash<std::string_view>{}(m_bytes)});
        const std::vector<ChartReference> references = ReadChartReferences(m_bytes);
        if (references.empty())
            continue;
        if (!resolver)
            resolver.emplace(path, FolderNames(listing), levelsBelowRoot);
        const Charset charset = CharsetOfChart(m_bytes, references);
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
