#include "platform/desktop/ApplicationGroups.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <unordered_map>

namespace qs::desktop {

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

std::string baseName(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::optional<DesktopEntry> matchDesktopEntry(const std::vector<DesktopEntry>& entries,
                                              const std::string& applicationId, const std::string& wmInstance,
                                              const std::string& wmClass, const std::string& executable) {
    if (!applicationId.empty())
        for (const auto& e : entries)
            if (e.id == applicationId) return e;
    for (const std::string& c : {wmClass, wmInstance}) {
        if (c.empty()) continue;
        for (const auto& e : entries)
            if (!e.startupWMClass.empty() && e.startupWMClass == c) return e;
    }
    for (const std::string& c : {wmClass, wmInstance}) {
        if (c.empty()) continue;
        const std::string wanted = lower(c);
        for (const auto& e : entries) {
            const std::string id = lower(e.id);
            const auto dot = id.find_last_of('.');
            if (id == wanted || (dot != std::string::npos && id.compare(dot + 1, std::string::npos, wanted) == 0))
                return e;
        }
    }
    if (!executable.empty()) {
        const std::string exe = baseName(executable);
        for (const auto& e : entries) {
            if (e.terminal) continue;
            const std::string first = e.exec.substr(0, e.exec.find(' '));
            if ((!e.tryExec.empty() && baseName(e.tryExec) == exe) || (!first.empty() && baseName(first) == exe))
                return e;
        }
    }
    return std::nullopt;
}

ApplicationIdentity identityOf(const WindowOwner& owner, const std::optional<DesktopEntry>& entry,
                               const std::string& executable, Pid self) {
    ApplicationIdentity identity;
    if (owner.process > 0 && owner.process == self) {
        identity.key = "self";
        return identity;
    }
    if (entry) {
        identity.key = "entry:" + entry->id;
        identity.name = entry->name.empty() ? entry->id : entry->name;
        identity.entry = entry;
        return identity;
    }
    if (!owner.wmClass.empty() || !owner.wmInstance.empty()) {
        identity.key = "class:" + std::string(owner.wmClass) + '\n' + std::string(owner.wmInstance);
        identity.name = std::string(owner.wmClass.empty() ? owner.wmInstance : owner.wmClass);
        return identity;
    }
    const std::string program = baseName(executable);
    if (owner.process > 0) {
        identity.key = "process:" + std::to_string(owner.process);
        identity.name = program.empty() ? "Process " + std::to_string(owner.process) : program;
        return identity;
    }
    identity.key = "window:" + std::to_string(owner.window);
    identity.name = program.empty() ? "Unknown Application" : program;
    return identity;
}

ApplicationGroups::ApplicationGroups(Identify identify) : identify_(std::move(identify)) {}

void ApplicationGroups::forgetIdentities() { ++identities_; }

Pid ApplicationGroups::allocate(Pid founder) const {
    if (founder > 0 && founder < kFirstSpareIdentifier && !applications_.count(founder)) return founder;
    while (applications_.count(nextSpare_)) ++nextSpare_;
    return nextSpare_++;
}

ApplicationGroups::Changes ApplicationGroups::update(const std::vector<WindowOwner>& windows) {
    Changes changes;
    moved_.clear();
    ++generation_;

    // Membership, front to back. A window keeps its identity while its owner facts stay.
    struct Members {
        std::vector<WindowNumber> windows;
        std::vector<Pid> processes;
        bool regular = false;
    };
    std::unordered_map<Pid, Members> members;
    for (const WindowOwner& w : windows) {
        Known* known = nullptr;
        ApplicationIdentity windowless;
        const ApplicationIdentity* identity;
        if (w.window == 0) {
            windowless = identify_(w);
            identity = &windowless;
        } else {
            auto [it, inserted] = known_.try_emplace(w.window);
            known = &it->second;
            if (inserted || known->identified != identities_ || !(known->owner == w)) {
                known->owner = Facts{w.process, std::string(w.wmInstance), std::string(w.wmClass),
                                     std::string(w.applicationId), w.regular};
                known->identity = identify_(w);
                known->identified = identities_;
            }
            known->seen = generation_;
            identity = &known->identity;
        }
        Pid id;
        if (auto k = byKey_.find(identity->key); k != byKey_.end()) {
            id = k->second;
        } else {
            id = allocate(w.process);
            Application& app = applications_[id];
            app.id = id;
            app.serial = ++serial_;
            app.identity = *identity;
            app.founder = w.process > 0 ? w.process : -1;
            byKey_[identity->key] = id;
            changes.started.push_back(id);
        }
        Members& m = members[id];
        m.regular = m.regular || w.regular;
        if (w.process > 0 && std::find(m.processes.begin(), m.processes.end(), w.process) == m.processes.end())
            m.processes.push_back(w.process);
        if (known) {
            m.windows.push_back(w.window);
            if (known->application > 0 && known->application != id) moved_.emplace_back(w.window, known->application);
            known->application = id;
        }
    }
    std::erase_if(known_, [this](const auto& entry) { return entry.second.seen != generation_; });

    const std::set<Pid> started(changes.started.begin(), changes.started.end());
    for (auto it = applications_.begin(); it != applications_.end();) {
        Application& app = it->second;
        auto m = members.find(app.id);
        if (m == members.end()) {
            changes.ended.push_back(app.id);
            byKey_.erase(app.identity.key);
            it = applications_.erase(it);
            continue;
        }
        // The processes that stay keep their order; new ones follow.
        const auto& now = m->second.processes;
        bool differs = app.regular != m->second.regular || app.processes.size() != now.size();
        if (!differs)
            for (Pid p : app.processes) differs = differs || std::find(now.begin(), now.end(), p) == now.end();
        if (differs) {
            std::vector<Pid> processes;
            for (Pid p : app.processes)
                if (std::find(now.begin(), now.end(), p) != now.end()) processes.push_back(p);
            for (Pid p : now)
                if (std::find(processes.begin(), processes.end(), p) == processes.end()) processes.push_back(p);
            app.processes = std::move(processes);
            app.regular = m->second.regular;
            if (!started.count(app.id)) changes.changed.push_back(app.id);
        }
        app.windows = std::move(m->second.windows);
        ++it;
    }
    return changes;
}

Pid ApplicationGroups::applicationOf(WindowNumber window) const {
    auto it = known_.find(window);
    return it == known_.end() ? -1 : it->second.application;
}

const ApplicationGroups::Application* ApplicationGroups::application(Pid id) const {
    auto it = applications_.find(id);
    return it == applications_.end() ? nullptr : &it->second;
}

std::vector<const ApplicationGroups::Application*> ApplicationGroups::applications() const {
    std::vector<const Application*> list;
    for (const auto& [id, app] : applications_) list.push_back(&app);
    std::sort(list.begin(), list.end(), [](const Application* a, const Application* b) { return a->serial < b->serial; });
    return list;
}

}  // namespace qs::desktop
