// The program as a user starts and ends it: title, maximised window, exit codes.
#include <doctest.h>

#include "driver/ui_driver.h"
#include "resources/resource.h"

namespace {
const std::string kFloppyTitle = "Sliverdisk Utility - Media: Floppy";
}

TEST_CASE("the main window starts maximised with the Floppy title whatever the show command")
{
    for (int show : {SW_SHOWNORMAL, SW_SHOWMINIMIZED, SW_HIDE, SW_SHOWMINNOACTIVE}) {
        CAPTURE(show);
        drv::Program app;
        REQUIRE(app.start(show));
        // The window is looked for only once visible: its first visible title is checked here.
        CHECK(app.title() == kFloppyTitle);
        CHECK(drv::wait_until([&] { return IsZoomed(app.main_window()) != 0; }, 5000));
        CHECK(IsWindowVisible(app.main_window()));
        CHECK_FALSE(IsIconic(app.main_window()));
        CHECK(GetMenu(app.main_window()) != nullptr);
    }
}

TEST_CASE("Exit and the close box end the program with exit code 0")
{
    SUBCASE("Exit")
    {
        drv::Program app;
        REQUIRE(app.start());
        app.command(IDM_EXIT);
        CHECK(app.wait_exit() == 0u);
    }
    SUBCASE("close box")
    {
        drv::Program app;
        REQUIRE(app.start());
        // The close box arrives as a system command, which becomes WM_CLOSE.
        PostMessageA(app.main_window(), WM_SYSCOMMAND, SC_CLOSE, 0);
        CHECK(app.wait_exit() == 0u);
    }
}

TEST_CASE("two copies of the program run side by side")
{
    drv::Program first, second;
    REQUIRE(first.start());
    REQUIRE(second.start());
    CHECK(first.main_window() != second.main_window());
    first.command(IDM_EXIT);
    second.command(IDM_EXIT);
    CHECK(first.wait_exit() == 0u);
    CHECK(second.wait_exit() == 0u);
}
