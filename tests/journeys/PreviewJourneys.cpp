// Window previews of windows a person cannot see: a preview shows a covered window as it
// is now, and a minimised window's last picture with the minimised mark, which goes as
// soon as the window is back on the screen. Never a black picture, and a shaped window
// keeps its shape.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "journeys/Journey.h"

namespace qs::journey {
namespace {

// Backgrounds the windows are given, so that their pictures can be told apart.
constexpr QRgb kCoveredBefore = 0xffe0a8c0;
constexpr QRgb kCoveredColour = 0xffa8e0c0;
constexpr QRgb kCoverColour = 0xff3050c0;
constexpr QRgb kMinimisedColour = 0xfff0d8a0;

bool isBlack(QRgb p) { return luma(p) < 40; }

class PreviewJourneys : public JourneyTest {
protected:
    static void SetUpTestSuite() { startDock(); }

    // The pixels of the preview of `cell`, hovered afresh.
    QImage previewOf(int cell) {
        x().move(parkingSpot());
        auto preview = hoverUntilPreview(cell);
        return preview ? steadyPixels(preview->rect) : QImage();
    }
};

TEST_F(PreviewJourneys, ACoveredWindowsPreviewShowsItAsItIsNow) {
    // A terminal that repaints its background from kCoveredBefore to kCoveredColour when
    // the journey asks (a file appears), and says when it has (another file).
    const std::string ask = dock().home() + "/repaint", done = dock().home() + "/repainted";
    const std::string script = "while [ ! -e '" + ask + "' ]; do sleep 0.05; done; printf '\\033]11;" +
                               hexColour(kCoveredColour) + "\\007'; touch '" + done + "'; exec cat";
    const Launched covered = launch({"xterm", "-bg", hexColour(kCoveredBefore), "-fg", "black", "-geometry",
                                     "50x10+700+150", "-e", "sh", "-c", script});
    ASSERT_GE(covered.cell, 0);
    // Covered whole by a window of another application, then repainted.
    const Launched cover =
        launch({"xlogo", "-bg", hexColour(kCoverColour), "-fg", "yellow", "-geometry", "700x450+600+80"});
    ASSERT_GE(cover.cell, 0);
    auto terminal = x().topLevelOf(covered.window);
    ASSERT_TRUE(terminal);
    const auto above = x().coveringAbove(covered.window, terminal->rect);
    ASSERT_TRUE(
        std::any_of(above.begin(), above.end(), [&](const TopLevel& t) { return t.rect.contains(terminal->rect); }))
        << "the terminal is not covered; " << screenshot();
    { std::ofstream(ask) << "now"; }
    ASSERT_TRUE(waitUntil("the covered terminal to repaint", [&] { return std::filesystem::exists(done); }));

    // Its preview shows its new background: not the old picture, not the cover's, not black.
    // (A preview opened before the terminal's repaint reached the screen is looked at again
    // on the next hover.)
    EXPECT_TRUE(waitUntil("the covered terminal's picture as it is now", [&] {
        const QImage shown = previewOf(covered.cell);
        const int area = std::max(1, shown.width() * shown.height());
        const int own = countPixels(shown, [](QRgb p) { return nearColour(p, kCoveredColour); });
        const int black = countPixels(shown, isBlack);
        if (own >= area / 5 && black < area / 10) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "of its preview's " << area << " pixels, " << own
                                             << " are the window's background now and " << black << " are black";
    }));
}

TEST_F(PreviewJourneys, AMinimisedWindowsPreviewIsNotBlackAndItsMarkGoesWhenItComesBack) {
    // A terminal whose picture the dock has taken once, then minimised.
    const Launched minimised =
        launch({"xterm", "-bg", hexColour(kMinimisedColour), "-fg", "black", "-geometry", "50x10+100+150"});
    ASSERT_GE(minimised.cell, 0);
    ASSERT_TRUE(hoverUntilPreview(minimised.cell));
    ASSERT_TRUE(settle());
    x().iconify(minimised.window);
    ASSERT_TRUE(waitUntil("the terminal to be minimised", [&] { return !x().isViewable(minimised.window); }));

    // Its preview: the last picture (never black), with the minimised mark in the picture's
    // top right corner.
    const QImage shown = previewOf(minimised.cell);
    ASSERT_FALSE(shown.isNull());
    EXPECT_LT(countPixels(shown, isBlack), shown.width() * shown.height() / 10)
        << "the minimised window's picture is black; " << screenshot();
    // The mark, in the preview that shows (hovered again when none does): the dark pixels
    // in the top right corner of the window's picture.
    auto mark = [&](bool shown) {
        auto preview = dock().preview();
        if (!preview) {
            x().move(parkingSpot());
            preview = hoverUntilPreview(minimised.cell);
            if (!preview) return ::testing::AssertionFailure() << "no preview";
        }
        const QImage image = x().grab(preview->rect);
        const Rect picture = boundsOf(image, [](QRgb p) { return nearColour(p, kMinimisedColour); });
        if (picture.empty()) return ::testing::AssertionFailure() << "no picture of the window in its preview";
        const Rect corner{picture.right() - 40, picture.y, 40, 40};
        const int dark = countPixels(
            image, [](QRgb p) { return luma(p) < 140; }, corner);
        if (shown ? dark >= 30 : dark < 10) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << dark << " dark pixels in the picture's top right corner";
    };
    EXPECT_TRUE(waitUntil("the minimised mark", [&] { return mark(true); }));

    // Back on the screen, while its preview shows: the mark goes from that preview (or,
    // when the preview closed as the window came back, from the next one).
    x().activate(minimised.window);
    ASSERT_TRUE(waitUntil("the terminal to come back", [&] { return x().isViewable(minimised.window); }));
    EXPECT_TRUE(waitUntil("the minimised mark to go", [&] { return mark(false); }));
}

TEST_F(PreviewJourneys, AShapedWindowsPictureKeepsItsShape) {
    // Eyes in colours of their own: nothing of the window is black.
    constexpr QRgb kOutline = 0xff3030c0, kCentre = 0xfff0f0f0;
    const Launched eyes = launch({"xeyes", "-fg", "#c03030", "-outline", hexColour(kOutline), "-center",
                                  hexColour(kCentre), "-geometry", "240x160+300+120"});
    ASSERT_GE(eyes.cell, 0);
    auto preview = hoverUntilPreview(eyes.cell);
    ASSERT_TRUE(preview);
    EXPECT_TRUE(waitUntil("the eyes' picture, shaped", [&] {
        const QImage shown = x().grab(preview->rect);
        // The picture: the box of the outline's pixels.
        const Rect picture = boundsOf(shown, [&](QRgb p) { return nearColour(p, kOutline, 40); });
        if (picture.width < 40) return ::testing::AssertionFailure() << "no picture of the eyes in the preview";
        const int black = countPixels(shown, isBlack, picture);
        // The corners of the box lie outside the eyes: what is behind the picture shows.
        const Rect corner{picture.x, picture.y, picture.width / 8, picture.height / 8};
        const int cornerBlack = countPixels(shown, isBlack, corner);
        if (black == 0 && cornerBlack == 0) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << black << " black pixels in the eyes' picture " << picture
                                             << ", " << cornerBlack << " in its top left corner";
    }));
}

}  // namespace
}  // namespace qs::journey
