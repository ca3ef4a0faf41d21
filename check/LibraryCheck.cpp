#include "check/LibraryCheck.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

#include "check/ChartReferences.h"
#include "check/ReferenceResolver.h"
#include "platform/DirectoryReader.h"
#include "platform/Eintr.h"
#include "platform/FileHash.h"
#include "search/HeaderReader.h"

namespace tamboro {
namespace {

constexpr std::size_t kBlockSize = 256 * 1024;

// Opens a chart for reading without ever blocking on a FIFO or a device.
int OpenChart(int dirFd, const char* name, struct stat& status)
{
    const int fd = RetryOnEintr([&] { return ::openat(dirFd, name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK); });
    if (fd < 0)
        return -errno;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        const int error = S_ISREG(status.st_mode) ? errno : EINVAL;
        ::close(fd);
        return -error;
    }
    return fd;
}

// Calls `take` with each block of the file `name`; returns 0 or the errno.
template <typename Take>
int ReadBlocks(int dirFd, const char* name, Take take)
{
    struct stat status {};
    const int fd = OpenChart(dirFd, name, status);
    if (fd < 0)
        return -fd;
    std::string block(kBlockSize, '\0');
    int error = 0;
    for (;;) {
        const ssize_t got = RetryOnEintr([&] { return ::read(fd, block.data(), block.size()); });
        if (got < 0)
            error = errno;
        if (got <= 0)
            break;
        take(std::string_view(block.data(), static_cast<std::size_t>(got)));
    }
    ::close(fd);
    return error;
}

std::string ReasonOf(int error)
{
    return error == EINVAL ? std::string("not a regular file") : std::string(std::strerror(error));
}

}  // namespace

std::string_view CheckKindName(CheckKind kind)
{
    switch (kind) {
    case CheckKind::Duplicate:
        return "duplicate";
    case CheckKind::MissingFile:
        return "missing-file";
    case CheckKind::CaseMismatch:
        return "case-mismatch";
    case CheckKind::Unreadable:
        return "unreadable";
    }
    return "";
}

LibraryCheck::LibraryCheck(CheckSink& sink, CheckOptions options) : m_sink(sink), m_options(std::move(options))
{}

int LibraryCheck::Run(const std::string& root)
{
    const int error = FolderWalk(*this).Run(root);
    if (error != 0 || StopRequested())
        return error;
    ReportDuplicates();
    return 0;
}

bool LibraryCheck::StopRequested()
{
    return tamboro::StopRequested(m_options.state, m_options.stop);
}

void LibraryCheck::Entered(const std::string& path)
{
    m_sink.FolderEntered(path);
}

void LibraryCheck::Unreadable(const std::string& path, int error)
{
    m_sink.Report(
        CheckProblem{CheckKind::Unreadable, path, std::string(), ReasonOf(error), std::string(), Charset::Utf8});
}

void LibraryCheck::Finished(DirectoryListing& listing, const std::string& path)
{
    std::optional<ReferenceResolver> resolver;
    for (std::size_t i = 0; i < listing.Entries().size(); ++i) {
        const auto& entry = listing.Entries()[i];
        if (listing.IsDirectory(entry) || !m_options.types.Matches(listing.NameOf(entry)))
            continue;
        if (StopRequested())
            return;
        if (!resolver)
            resolver.emplace(path, FolderNames(listing));
        CheckChart(listing, i, path, *resolver);
    }
}

void LibraryCheck::CheckChart(const DirectoryListing& listing, std::size_t entryIndex, const std::string& path,
                              ReferenceResolver& resolver)
{
    const auto& entry = listing.Entries()[entryIndex];
    const std::string file(listing.NameOf(entry));
    std::string bytes;
    const int error =
        ReadBlocks(listing.Fd(), listing.CNameOf(entry), [&](std::string_view block) { bytes.append(block); });
    if (error != 0) {
        m_sink.Report(CheckProblem{CheckKind::Unreadable, path, file, ReasonOf(error), std::string(), Charset::Utf8});
        return;
    }
    m_charts.push_back(Chart{path, file, static_cast<int64_t>(bytes.size())});

    const std::vector<ChartReference> references = ReadChartReferences(bytes);
    if (references.empty())
        return;
    // The chart's names read as its header values do: one decision for the
    // values and the names together.
    TagTable values;
    HeaderReader::ParseBytes(bytes, values);
    std::vector<std::string> fields(values.Values().begin(), values.Values().end());
    for (const ChartReference& reference : references)
        fields.push_back(reference.name);
    const Charset charset = DetectCharset(fields);

    for (const ChartReference& reference : references) {
        const Resolution resolution = resolver.Resolve(reference, charset);
        if (resolution.result == Resolution::Result::Found)
            continue;
        const CheckKind kind =
            resolution.result == Resolution::Result::Missing ? CheckKind::MissingFile : CheckKind::CaseMismatch;
        m_sink.Report(CheckProblem{kind, path, file, reference.name, resolution.found, charset});
    }
}

void LibraryCheck::ReportDuplicates()
{
    // Only charts of one size can hold the same bytes: the others are never
    // hashed.
    std::map<int64_t, std::vector<std::size_t>> bySize;
    for (std::size_t i = 0; i < m_charts.size(); ++i)
        bySize[m_charts[i].size].push_back(i);

    // Groups of the same MD5 and SHA-256, by their first chart's place.
    std::map<std::size_t, std::vector<std::size_t>> groups;
    std::map<std::size_t, std::string> md5OfGroup;
    FileHash hash;
    for (const auto& [size, charts] : bySize) {
        if (charts.size() < 2)
            continue;
        std::map<std::pair<std::string, std::string>, std::vector<std::size_t>> byDigest;
        for (const std::size_t chart : charts) {
            if (StopRequested())
                return;
            const std::string path = m_charts[chart].folder + m_charts[chart].file;
            hash.Begin();
            if (ReadBlocks(AT_FDCWD, path.c_str(), [&](std::string_view b) { hash.Update(b.data(), b.size()); }) != 0)
                continue;
            std::string md5;
            std::string sha256;
            hash.Finish(md5, sha256);
            byDigest[{std::move(md5), std::move(sha256)}].push_back(chart);
        }
        for (auto& [digest, same] : byDigest) {
            if (same.size() < 2)
                continue;
            md5OfGroup[same.front()] = digest.first;
            groups[same.front()] = std::move(same);
        }
    }
    for (const auto& [first, charts] : groups) {
        for (const std::size_t chart : charts)
            m_sink.Report(CheckProblem{CheckKind::Duplicate, m_charts[chart].folder, m_charts[chart].file,
                                       md5OfGroup[first], std::string(), Charset::Utf8});
    }
}

}  // namespace tamboro
