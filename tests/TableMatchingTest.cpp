// The window's tables matched on a thread of their own: the match comes back
// on the owner's thread, and only that of the last request.
#include <QTest>
#include <QThread>

#include "worker/TableMatching.h"

namespace tamboro {

class TableMatchingTest : public QObject {
    Q_OBJECT
private slots:
    // Requests made while a build runs: the last one's match alone comes
    // back; an empty request drops what was asked before it.
    void onlyTheLastRequestIsBuilt()
    {
        // Large enough for its build to be under way at the next request.
        auto table = [](const char* level) {
            auto made = std::make_shared<DifficultyTable>();
            made->symbol = "★";
            for (int i = 0; i < 100000; ++i) {
                std::string md5 = std::to_string(i);
                made->entries.push_back(
                    TableEntry{level, md5.insert(0, 32 - md5.size(), '0'), {}, {}, {}, {}, {}, {}, {}});
            }
            return std::shared_ptr<const DifficultyTable>(std::move(made));
        };
        TableMatching matching;
        std::vector<std::string> columns;
        QObject::connect(&matching, &TableMatching::Built, [&](const auto& matched) {
            QCOMPARE(QThread::currentThread(), thread());
            columns.push_back(matched->match.ColumnText(std::string(32, '0'), ""));
        });
        matching.Match({table("x")});
        matching.Match({table("y")});
        QTRY_COMPARE(columns, std::vector<std::string>{"★y"});
        matching.Match({table("z")});
        matching.Match({});
        // Built after z, were it built: its match would have come first.
        matching.Match({table("w")});
        QTRY_COMPARE(columns, (std::vector<std::string>{"★y", "★w"}));
    }
};

}  // namespace tamboro

QTEST_MAIN(tamboro::TableMatchingTest)
#include "TableMatchingTest.moc"
