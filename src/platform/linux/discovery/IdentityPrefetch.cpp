#include "IdentityPrefetch.h"

#include "discovery/DiscoveryMerge.h"

namespace norvane {

namespace {

// The answer of a job, or `fallback` for a job that never ran because the
// round was replaced first.
template <typename T> T answerOf(const std::shared_future<T>& answer, T fallback) {
    try {
        return answer.get();
    } catch (const std::future_error&) {
        return fallback;
    }
}

} // namespace

IdentityPrefetch::~IdentityPrefetch() {
    finish();
}

void IdentityPrefetch::finish() {
    if (m_thread.joinable())
        m_thread.join();
    // Jobs not started are dropped; their answers read as none.
    m_pool.reset();
}

void IdentityPrefetch::start(Hosts hosts, NameQuery nameQuery, NodeStatusQuery nodeStatusQuery,
                             AskedNodeStatus asked) {
    finish();
    {
        const std::lock_guard lock(m_mutex);
        m_hostsKnown = false;
        m_entries.clear();
    }
    m_pool = std::make_unique<LookupPool>(PrefetchThreadLimit);
    m_thread = std::thread([this, hosts = std::move(hosts), nameQuery = std::move(nameQuery),
                            nodeStatusQuery = std::move(nodeStatusQuery),
                            asked = std::move(asked)] {
        std::vector<Entry> entries;
        for (const DiscoveredHost& host : hosts()) {
            // A named host answered from nowhere: it is looked up by its
            // DNS name when the walk comes to it.
            if (host.reach == HostReach::Named)
                continue;
            auto status = std::make_shared<std::promise<NodeStatusReply>>();
            auto name = std::make_shared<std::promise<std::optional<std::uint32_t>>>();
            Entry entry{host.name, host.address, name->get_future().share(),
                        status->get_future().share()};
            const bool contested = host.reach == HostReach::Contested;
            std::optional<NodeStatusReply> known;
            if (contested)
                known = NodeStatusReply{};
            else if (asked)
                known = asked(host.address);
            if (known)
                status->set_value(*known);
            else
                m_pool->post([status, address = host.address, nodeStatusQuery] {
                    status->set_value(nodeStatusQuery(address));
                });
            // Brief where the host refused the name service, or where its
            // node status came with its discovery: the name query is then
            // only the check that no computer on the link owns the name.
            const bool brief = known && !contested;
            m_pool->post([name, answer = entry.statusAnswer, host = host.name, nameQuery, brief] {
                const bool refused =
                    answer.wait_for(NameServiceRefusalWindow) == std::future_status::ready &&
                    answerOf(answer, NodeStatusReply{}).refused;
                name->set_value(nameQuery(host, brief || refused));
            });
            entries.push_back(std::move(entry));
        }
        const std::lock_guard lock(m_mutex);
        m_entries = std::move(entries);
        m_hostsKnown = true;
        m_known.notify_all();
    });
}

const IdentityPrefetch::Entry*
IdentityPrefetch::waitForEntry(const std::function<bool(const Entry&)>& wanted,
                               std::unique_lock<std::mutex>& lock) {
    m_known.wait(lock, [this] { return m_hostsKnown; });
    for (const Entry& entry : m_entries) {
        if (wanted(entry))
            return &entry;
    }
    return nullptr;
}

std::optional<std::optional<std::uint32_t>> IdentityPrefetch::nameQuery(const std::string& name) {
    std::shared_future<std::optional<std::uint32_t>> answer;
    {
        std::unique_lock lock(m_mutex);
        const Entry* entry = waitForEntry(
            [&](const Entry& candidate) { return sameNameIgnoringCase(candidate.name, name); },
            lock);
        if (entry == nullptr)
            return std::nullopt;
        answer = entry->nameAnswer;
    }
    return answerOf(answer, std::optional<std::uint32_t>{});
}

std::optional<std::optional<nbns::NodeStatus>> IdentityPrefetch::nodeStatus(std::uint32_t address) {
    std::shared_future<NodeStatusReply> answer;
    {
        std::unique_lock lock(m_mutex);
        const Entry* entry = waitForEntry(
            [&](const Entry& candidate) { return address != 0 && candidate.address == address; },
            lock);
        if (entry == nullptr)
            return std::nullopt;
        answer = entry->statusAnswer;
    }
    return answerOf(answer, NodeStatusReply{}).status;
}

} // namespace norvane
