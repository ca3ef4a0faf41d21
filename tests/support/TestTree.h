// A folder tree in a fresh temporary directory, removed again at the end.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "search/ScanSink.h"

namespace tamboro::test {

class TestTree {
public:
    TestTree();
    ~TestTree();
    TestTree(const TestTree&) = delete;
    TestTree& operator=(const TestTree&) = delete;

    // The tree's root, without a trailing "/".
    const std::string& Root() const { return m_root; }
    // Root() + "/" + relative.
    std::string Path(std::string_view relative) const;

    // Creates folders and files (with their parent folders) below the root.
    void MakeFolder(std::string_view relative) const;
    void WriteFile(std::string_view relative, std::string_view bytes) const;
    // A chart with the given header lines (CRLF line ends) and a data line.
    void WriteChart(std::string_view relative, std::string_view genre, std::string_view title,
                    std::string_view artist) const;
    void MakeSymlink(std::string_view target, std::string_view relative) const;
    void MakeFifo(std::string_view relative) const;

private:
    std::string m_root;
};

// A sink that keeps everything it gets.
class CollectingSink : public ScanSink {
public:
    void AddRows(std::vector<ChartRow>& rows) override;
    void SetTitle(const std::string& title) override { titles.push_back(title); }

    std::vector<ChartRow> rows;
    std::vector<std::string> titles;
    std::vector<int> batchSizes;
};

}  // namespace tamboro::test
