// The custom size input box, driven from outside as a user would. What each Media item does,
// repeated or not, is read in-process, where the state shows at once.
#include <doctest.h>

#include "driver/engine_helpers.h"
#include "driver/ui_driver.h"
#include "resources/resource.h"

namespace {

const std::string kTitlePrefix = "Sliverdisk Utility - Media: ";

// Opens Custom and returns the visible input box (its initialisation is done once visible).
HWND open_input_box(drv::Program& app)
{
    app.command(IDM_MEDIA_CUSTOM);
    return app.wait_dialog("Input Box");
}

std::string edit_text(HWND box)
{
    return drv::window_text(GetDlgItem(box, IDC_INPUT_EDIT));
}

// Sets the edit's text directly, as a paste would (bypassing the digits-only typing rule).
void confirm_custom(drv::Program& app, const char* text)
{
    HWND box = open_input_box(app);
    REQUIRE(box != nullptr);
    SendMessageA(GetDlgItem(box, IDC_INPUT_EDIT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    REQUIRE(drv::wait_until([&] { return !IsWindow(box); }));
}

} // namespace

TEST_CASE("the input box: place, prompt, pre-filled and selected capacity, digits only, 12 at most")
{
    drv::Program app;
    REQUIRE(app.start());
    HWND box = open_input_box(app);
    REQUIRE(box != nullptr);

    RECT r;
    GetWindowRect(box, &r);
    CHECK(r.left == 100);
    CHECK(r.top == 100);
    CHECK((GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0);
    CHECK(GetWindow(box, GW_OWNER) == app.main_window());
    CHECK(drv::window_text(GetDlgItem(box, IDC_INPUT_PROMPT)) == "Enter Max Size (Bytes)");

    HWND edit = GetDlgItem(box, IDC_INPUT_EDIT);
    CHECK(edit_text(box) == "1400000");
    const DWORD selection = static_cast<DWORD>(SendMessageA(edit, EM_GETSEL, 0, 0));
    CHECK(LOWORD(selection) == 0);
    CHECK(HIWORD(selection) == 7);
    CHECK(SendMessageA(edit, EM_GETLIMITTEXT, 0, 0) == 12);
    CHECK((GetWindowLongA(edit, GWL_STYLE) & ES_NUMBER) != 0);

    // Typing: a letter is refused, digits replace the selection, the 13th digit is refused.
    SendMessageA(edit, WM_CHAR, 'x', 0);
    CHECK(edit_text(box) == "1400000");
    for (char c : std::string("1234567890123"))
        SendMessageA(edit, WM_CHAR, static_cast<WPARAM>(c), 0);
    CHECK(edit_text(box) == "123456789012");

    PostMessageA(box, WM_COMMAND, IDOK, 0);
    // 123456789012 wraps modulo 2^32.
    CHECK(app.wait_title(kTitlePrefix + "Custom [3,197,704,724 Bytes]"));
}

// Cancel and an empty OK, which keep the capacity, are checked in-process.
TEST_CASE("Custom: confirmed texts give their titles")
{
    drv::Program app;
    REQUIRE(app.start());

    const std::pair<const char*, const char*> cases[] = {
        {"65536", "65,536 Bytes]"},
        {"  +1500", "1,500 Bytes]"},
        {"5000000000", "705,032,704 Bytes]"},
        {"999999999999", "3,567,587,327 Bytes]"},
        {"-1", "4,294,967,295 Bytes]"},
        {"12abc", "12 Bytes]"},
        {"abc", "0 Bytes]"},
    };
    for (const auto& [typed, shown] : cases) {
        CAPTURE(typed);
        confirm_custom(app, typed);
        CHECK(app.wait_title(kTitlePrefix + "Custom [" + shown));
    }
    // The box is pre-filled with the capacity in force, in plain decimal.
    HWND box = open_input_box(app);
    REQUIRE(box != nullptr);
    CHECK(edit_text(box) == "0");
    PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
}

TEST_CASE("capacity 0: Copy refuses with an error box and starts nothing; Re-Assemble still starts")
{
    drv::Program app;
    REQUIRE(app.start());
    confirm_custom(app, "0");
    REQUIRE(app.wait_title(kTitlePrefix + "Custom [0 Bytes]"));

    app.command(IDM_COPY_TO_FLOPPIES);
    drv::Box box;
    REQUIRE(app.wait_box(box));
    CHECK(box.text == "No Custom Size Set... Copy Cancelled!");
    CHECK(box.caption == "Error");  // a null caption: the platform's default
    CHECK(box.buttons == std::vector<std::string>{"OK"});
    CHECK(box.owner == app.main_window());
    CHECK(box.error_icon);
    app.answer(box, IDOK);
    // Nothing was started: no chooser follows, and the menu still works at once.
    CHECK(eng::ends_without_box(app));
    app.command(IDM_MEDIA_ZIP);
    CHECK(app.wait_title(kTitlePrefix + "Zip"));
    confirm_custom(app, "0");

    app.command(IDM_REASSEMBLE);
    CHECK(app.cancel_chooser("Copy From Floppies: Select Source File"));
    CHECK(app.wait_no_dialog());
}
