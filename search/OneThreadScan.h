// The scan on the calling thread alone: walks the tree and reads each
// folder's charts as the folder is finished.
#pragma once

#include <string>

#include "search/ChartHashes.h"
#include "search/FolderWalk.h"
#include "search/HeaderReader.h"
#include "search/HeaderTags.h"
#include "search/RowLister.h"
#include "search/ScanOptions.h"

namespace tamboro {

class OneThreadScan : private FolderVisitor {
public:
    // Both must outlive the scan.
    OneThreadScan(RowLister& lister, const ScanOptions& options) : m_lister(lister), m_options(options) {}

    // As FolderScan::Run.
    int Run(const std::string& root);

private:
    bool StopRequested() override;
    void Entered(const std::string& path) override;
    void Finished(DirectoryListing& listing, const std::string& path) override;
    // Reads the charts of one folder into the lister. Returns 0, or the error
    // of a chart that could not be opened for want of a descriptor.
    int ReadCharts(const DirectoryListing& listing, const std::string& path);

    RowLister& m_lister;
    const ScanOptions& m_options;
    int m_chartError = 0;  // ends the scan
    HeaderReader m_reader;
    TagTable m_tags;
    ChartHashes m_hashes;
};

}  // namespace tamboro
