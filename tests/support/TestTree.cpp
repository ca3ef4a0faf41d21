#include "tests/support/TestTree.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace tamboro::test {
namespace fs = std::filesystem;

TestTree::TestTree()
{
    std::string pattern = (fs::temp_directory_path() / "tamboro-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    m_root = pattern;
}

TestTree::~TestTree()
{
    std::error_code ignored;
    // Folders made unreadable by a test must be readable again to be removed.
    for (auto it = fs::recursive_directory_iterator(m_root, fs::directory_options::skip_permission_denied, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored))
            ::chmod(it->path().c_str(), 0700);
    }
    ::chmod(m_root.c_str(), 0700);
    fs::remove_all(m_root, ignored);
}

std::string TestTree::Path(std::string_view relative) const
{
    return m_root + "/" + std::string(relative);
}

void TestTree::MakeFolder(std::string_view relative) const
{
    fs::create_directories(Path(relative));
}

void TestTree::WriteFile(std::string_view relative, std::string_view bytes) const
{
    const fs::path path = Path(relative);
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

void TestTree::WriteChart(std::string_view relative, std::string_view genre, std::string_view title,
                          std::string_view artist) const
{
    std::string text = "*---------------------- HEADER FIELD\r\n\r\n#PLAYER 1\r\n";
    text += "#GENRE " + std::string(genre) + "\r\n";
    text += "#TITLE " + std::string(title) + "\r\n";
    text += "#ARTIST " + std::string(artist) + "\r\n";
    text += "#BPM 150\r\n#PLAYLEVEL 5\r\n\r\n*---------------------- MAIN DATA FIELD\r\n#00111:01020304\r\n";
    WriteFile(relative, text);
}

void TestTree::MakeSymlink(std::string_view target, std::string_view relative) const
{
    const fs::path path = Path(relative);
    fs::create_directories(path.parent_path());
    fs::create_symlink(std::string(target), path);
}

void TestTree::MakeFifo(std::string_view relative) const
{
    const fs::path path = Path(relative);
    fs::create_directories(path.parent_path());
    if (::mkfifo(path.c_str(), 0600) != 0)
        throw std::runtime_error("mkfifo failed");
}

void CollectingSink::AddRows(std::vector<ChartRow>& batch)
{
    batchSizes.push_back(static_cast<int>(batch.size()));
    for (ChartRow& row : batch)
        rows.push_back(std::move(row));
}

}  // namespace tamboro::test
