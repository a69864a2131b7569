#include "platform/desktop/ApplicationGroups.h"

#include <algorithm>
#include <cctype>
#include <set>

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

bool sameOwner(const WindowOwner& a, const WindowOwner& b) {
    return a.process == b.process && a.wmClass == b.wmClass && a.wmInstance == b.wmInstance &&
           a.applicationId == b.applicationId && a.regular == b.regular;
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
        identity.key = "class:" + owner.wmClass + '\n' + owner.wmInstance;
        identity.name = owner.wmClass.empty() ? owner.wmInstance : owner.wmClass;
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

void ApplicationGroups::forgetIdentities() { known_.clear(); }

Pid ApplicationGroups::allocate(Pid founder) const {
    if (founder > 0 && founder < kFirstSpareIdentifier && !applications_.count(founder)) return founder;
    while (applications_.count(nextSpare_)) ++nextSpare_;
    return nextSpare_++;
}

ApplicationGroups::Changes ApplicationGroups::update(const std::vector<WindowOwner>& windows) {
    Changes changes;
    moved_.clear();

    // Identities: kept for windows whose owner facts are unchanged.
    std::map<WindowNumber, Known> known;
    std::vector<ApplicationIdentity> windowless;
    windowless.reserve(windows.size());
    std::vector<const ApplicationIdentity*> identities(windows.size(), nullptr);
    for (size_t i = 0; i < windows.size(); ++i) {
        const WindowOwner& w = windows[i];
        if (w.window == 0) {
            windowless.push_back(identify_(w));
            identities[i] = &windowless.back();
            continue;
        }
        auto it = known_.find(w.window);
        auto [slot, inserted] =
            it != known_.end() && sameOwner(it->second.owner, w)
                ? known.emplace(w.window, std::move(it->second))
                : known.emplace(w.window, Known{w, identify_(w)});
        identities[i] = &slot->second.identity;
        (void)inserted;
    }
    known_ = std::move(known);

    // Membership, front to back.
    struct Members {
        std::vector<WindowNumber> windows;
        std::vector<Pid> processes;
        bool regular = false;
        bool present = false;
    };
    std::map<Pid, Members> members;
    std::map<WindowNumber, Pid> windowApplication;
    for (size_t i = 0; i < windows.size(); ++i) {
        const WindowOwner& w = windows[i];
        const ApplicationIdentity& identity = *identities[i];
        Pid id;
        if (auto k = byKey_.find(identity.key); k != byKey_.end()) {
            id = k->second;
        } else {
            id = allocate(w.process);
            Application& app = applications_[id];
            app.id = id;
            app.serial = ++serial_;
            app.identity = identity;
            app.founder = w.process > 0 ? w.process : -1;
            byKey_[identity.key] = id;
            changes.started.push_back(id);
        }
        Members& m = members[id];
        m.present = true;
        m.regular = m.regular || w.regular;
        if (w.process > 0 && std::find(m.processes.begin(), m.processes.end(), w.process) == m.processes.end())
            m.processes.push_back(w.process);
        if (w.window != 0) {
            m.windows.push_back(w.window);
            windowApplication[w.window] = id;
            auto before = windowApplication_.find(w.window);
            if (before != windowApplication_.end() && before->second != id) moved_.emplace_back(w.window, before->second);
        }
    }
    windowApplication_ = std::move(windowApplication);

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
        std::vector<Pid> processes;
        for (Pid p : app.processes)
            if (std::find(m->second.processes.begin(), m->second.processes.end(), p) != m->second.processes.end())
                processes.push_back(p);
        for (Pid p : m->second.processes)
            if (std::find(processes.begin(), processes.end(), p) == processes.end()) processes.push_back(p);
        const bool differs = processes != app.processes || app.regular != m->second.regular;
        app.processes = std::move(processes);
        app.regular = m->second.regular;
        app.windows = std::move(m->second.windows);
        if (differs && !started.count(app.id)) changes.changed.push_back(app.id);
        ++it;
    }
    return changes;
}

Pid ApplicationGroups::applicationOf(WindowNumber window) const {
    auto it = windowApplication_.find(window);
    return it == windowApplication_.end() ? -1 : it->second;
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
