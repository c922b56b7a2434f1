#include "IdentityPrefetch.h"

#include "linux/discovery/DiscoveryMerge.h"

namespace norvane {

IdentityPrefetch::~IdentityPrefetch() {
    if (m_thread.joinable())
        m_thread.join();
}

void IdentityPrefetch::start(Hosts hosts, NameQuery nameQuery, NodeStatusQuery nodeStatusQuery) {
    if (m_thread.joinable())
        m_thread.join();
    {
        const std::lock_guard lock(m_mutex);
        m_hostsKnown = false;
        m_entries.clear();
    }
    m_thread = std::thread([this, hosts = std::move(hosts), nameQuery = std::move(nameQuery),
                            nodeStatusQuery = std::move(nodeStatusQuery)] {
        std::vector<Entry> entries;
        for (const DiscoveredHost& host : hosts()) {
            if (entries.size() == MaxPrefetchedHosts)
                break;
            Entry entry{host.name, host.address, {}, {}};
            entry.statusAnswer =
                std::async(std::launch::async, nodeStatusQuery, host.address).share();
            entry.nameAnswer = std::async(std::launch::async,
                                          [nameQuery, status = entry.statusAnswer,
                                           name = host.name]() -> std::optional<std::uint32_t> {
                                              if (status.wait_for(NameServiceRefusalWindow) ==
                                                      std::future_status::ready &&
                                                  status.get().refused)
                                                  return std::nullopt;
                                              return nameQuery(name);
                                          })
                                   .share();
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
    return answer.get();
}

std::optional<std::optional<nbns::NodeStatus>> IdentityPrefetch::nodeStatus(std::uint32_t address) {
    std::shared_future<NodeStatusReply> answer;
    {
        std::unique_lock lock(m_mutex);
        const Entry* entry = waitForEntry(
            [&](const Entry& candidate) { return candidate.address == address; }, lock);
        if (entry == nullptr)
            return std::nullopt;
        answer = entry->statusAnswer;
    }
    return answer.get().status;
}

} // namespace norvane
