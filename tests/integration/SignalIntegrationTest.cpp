// The real program ends with its termination steps (the dock archived) on SIGTERM, SIGINT
// and SIGHUP whatever is open at that moment: the folder popover (a window that decides
// its own closes), the same popover just closed with Escape, a context menu that runs an
// event loop of its own with the pointer and keyboard grabbed.

#include <X11/keysym.h>
#include <xcb/xcb_keysyms.h>

#include <algorithm>
#include <fstream>

#include "integration/DockProcess.h"
#include "support/XTestInput.h"

namespace fs = std::filesystem;
using namespace qs;
using namespace qs::test::xinput;

namespace {

class SignalIntegration : public test::DockProcessTest {
protected:
    void SetUp() override {
        DockProcessTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        const char* build = getenv("QUAYSIDE_BUILD_DIR");
        ASSERT_TRUE(build) << "QUAYSIDE_BUILD_DIR is not set";
        seeder_ = std::string(build) + "/quayside_seed_dock";
        ASSERT_TRUE(fs::exists(seeder_)) << seeder_ << " has not been built";
        folder_ = env.root() + "/KeptFolder";
        fs::create_directories(folder_);
        for (const char* name : {"a.txt", "b.txt", "c.txt"}) std::ofstream(folder_ + "/" + name) << name;
        symbols_ = xcb_key_symbols_alloc(conn_);
        root_ = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data->root;
    }
    void TearDown() override {
        if (symbols_) xcb_key_symbols_free(symbols_);
        symbols_ = nullptr;
        DockProcessTest::TearDown();
    }

    // A stored dock of the start menu, the folder and the trash, without a stored
    // configuration: only the quit-time save writes one. The what's-new window stays
    // away (it would take the focus from the popover).
    void seed() {
        const std::string command = "'" + seeder_ + "' 3 '" + folder_ + "' > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        auto stored = PropertyList::readFile(defaultsPath());
        ASSERT_TRUE(stored && stored->dictionary());
        Dictionary d = *stored->dictionary();
        d.erase("MainDockConfigKey");
        d["whatNewIsPresented"] = false;
        auto bytes = PropertyList::serialize(Value(d), PropertyList::Format::XML);
        ASSERT_TRUE(bytes && PropertyList::writeFileAtomically(defaultsPath(), *bytes));
    }

    Dictionary stored() {
        auto value = PropertyList::readFile(defaultsPath());
        return value && value->dictionary() ? *value->dictionary() : Dictionary{};
    }

    // Starts the program and answers its panel once the dock start has written the
    // default settings (the panel is laid out by then).
    test::Box startDock() {
        seed();
        start();
        std::optional<test::Box> panel;
        EXPECT_TRUE(test::waitFor([&] { return (panel = test::shownPanel(conn_, uint32_t(child_))).has_value(); }, 20.0))
            << "the panel never showed";
        EXPECT_TRUE(test::waitFor([&] { return stored().count("WindowPreview") > 0; }, 20.0))
            << "the dock start did not write the default settings";
        EXPECT_FALSE(stored().count("MainDockConfigKey")) << "the configuration was stored before the quit";
        // Park the pointer away from the panel so that it enters the cell afresh.
        fakeMotion(conn_, 5, 5, root_);
        if (auto other = shownOtherThanPanel())
            ADD_FAILURE() << "a window shows before any click: " << other->box.width << "x" << other->box.height;
        return panel.value_or(test::Box{});
    }

    // A shown window of the program other than the panel and its tool tip: the popover
    // or the menu a click opened.
    std::optional<test::ShownWindow> shownOtherThanPanel() {
        const xcb_atom_t tooltip = test::intern(conn_, "_NET_WM_WINDOW_TYPE_TOOLTIP");
        for (const auto& w : test::shownWindowsOf(conn_, uint32_t(child_)))
            if (!w.dock && std::find(w.types.begin(), w.types.end(), tooltip) == w.types.end()) return w;
        return std::nullopt;
    }

    // Clicks the folder (the middle cell) with `button` until the folder popover (the
    // first button) or the folder's context menu (the third) shows.
    std::optional<test::ShownWindow> openOnFolder(const test::Box& panel, uint8_t button) {
        fakeMotion(conn_, panel.centreX(), panel.centreY(), root_);
        std::optional<test::ShownWindow> shown;
        // A click the panel missed (it may still be busy with its start) is given again.
        for (int attempt = 0; attempt < 2 && !shown; ++attempt) {
            fakeClick(conn_, button);
            test::waitFor([&] { return (shown = shownOtherThanPanel()).has_value(); }, 15.0);
        }
        return shown;
    }

    // Sends `signal` and checks that the program ended by its termination steps: exit
    // status 0, the dock and its configuration archived, the folder kept.
    void expectQuitWithArchive(int signal) {
        ASSERT_EQ(terminate(10.0, signal), 0) << "the program did not end on signal " << signal;
        const Dictionary d = stored();
        EXPECT_EQ(archiveUnder(d, "MainDockConfigKey")["$archiver"], Value("NSKeyedArchiver"))
            << "the quit-time save did not run";
        auto model = d.find("MainDockModelKey");
        ASSERT_NE(model, d.end());
        ASSERT_TRUE(model->second.data());
        const std::string bytes(model->second.data()->begin(), model->second.data()->end());
        EXPECT_NE(bytes.find("KeptFolder"), std::string::npos) << "the folder is missing from the stored dock";
    }

    std::string seeder_, folder_;
    xcb_key_symbols_t* symbols_ = nullptr;
    xcb_window_t root_ = XCB_WINDOW_NONE;
};

// The popover's window is closed by Escape while the pointer still rests on the folder;
// repeated, since whether a window of the program is still up at the signal is a race.
TEST_F(SignalIntegration, SigtermAfterTheFolderPopoverClosedWithEscapeArchivesTheDock) {
    for (int run = 0; run < 4 && !HasFailure(); ++run) {
        SCOPED_TRACE("run " + std::to_string(run + 1));
        const test::Box panel = startDock();
        ASSERT_FALSE(HasFailure());
        auto popover = openOnFolder(panel, 1);
        ASSERT_TRUE(popover) << "the folder popover did not open";
        fakeKey(conn_, symbols_, XK_Escape);
        ASSERT_TRUE(test::waitFor([&] { return !shownOtherThanPanel(); }, 10.0)) << "Escape left the popover open";
        expectQuitWithArchive(SIGTERM);
    }
}

TEST_F(SignalIntegration, SighupWithTheFolderPopoverOpenArchivesTheDock) {
    const test::Box panel = startDock();
    ASSERT_FALSE(HasFailure());
    ASSERT_TRUE(openOnFolder(panel, 1)) << "the folder popover did not open";
    expectQuitWithArchive(SIGHUP);
}

TEST_F(SignalIntegration, SigintWithAContextMenuRunningItsOwnLoopArchivesTheDock) {
    const test::Box panel = startDock();
    ASSERT_FALSE(HasFailure());
    ASSERT_TRUE(openOnFolder(panel, 3)) << "the folder's context menu did not open";
    expectQuitWithArchive(SIGINT);
}

}  // namespace
