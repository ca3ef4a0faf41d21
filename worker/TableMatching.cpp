#include "worker/TableMatching.h"

#include <system_error>

namespace tamboro {
namespace {

// Qt's queue hands a posted call over with locks thread checkers cannot
// see. This fence is held from before a post until it is complete, and
// taken by the call before it reads what it carries, so that they see the
// order too. Not a member: the call reaches it without reading its own
// captures first.
std::mutex& PostFence()
{
    static std::mutex fence;
    return fence;
}

std::vector<const DifficultyTable*> AddressesOf(const TableMatching::Tables& tables)
{
    std::vector<const DifficultyTable*> addresses;
    for (const auto& table : tables)
        addresses.push_back(table.get());
    return addresses;
}

}  // namespace

TableMatching::Matched::Matched(Tables read) : tables(std::move(read)), match(AddressesOf(tables))
{}

TableMatching::TableMatching(QObject* parent) : QObject(parent)
{}

TableMatching::~TableMatching()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
        m_waiting.reset();
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void TableMatching::Match(Tables tables)
{
    const std::uint64_t number = ++m_lastAsked;
    if (tables.empty()) {
        const std::lock_guard lock(m_mutex);
        m_waiting.reset();
        return;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_waiting = std::move(tables);
        m_waitingNumber = number;
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        return;
    try {
        m_thread = std::thread([this] { Work(); });
    } catch (const std::system_error&) {
        // No thread to be had: built here, the window waiting meanwhile.
        std::optional<Tables> waiting;
        {
            const std::lock_guard lock(m_mutex);
            waiting.swap(m_waiting);
        }
        if (waiting)
            emit Built(std::make_shared<const Matched>(std::move(*waiting)));
    }
}

void TableMatching::Work()
{
    for (;;) {
        Tables tables;
        std::uint64_t number = 0;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || m_waiting.has_value(); });
            if (m_stop)
                return;
            tables = std::move(*m_waiting);
            m_waiting.reset();
            number = m_waitingNumber;
        }
        auto matched = std::make_shared<const Matched>(std::move(tables));
        // Posted to the owner's thread; dropped unread if the owner is gone.
        const std::lock_guard posting(PostFence());
        QMetaObject::invokeMethod(
            this,
            [this, number, matched = std::move(matched)] {
                {
                    const std::lock_guard posted(PostFence());
                }  // the post is complete
                if (number == m_lastAsked)
                    emit Built(matched);
            },
            Qt::QueuedConnection);
    }
}

}  // namespace tamboro
