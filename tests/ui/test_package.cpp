// The release package as a Windows user gets it. CPack makes it from this build folder
// with the configuration `cmake --build <build> --target package` uses; the test unpacks
// it and reads its files, line ends, checksum file, and the program's machine type and
// version, checks every function the program imports against the list of those that
// Windows 95 and NT 4.0 have (allowed_imports.txt) and the application manifest the program
// carries, then starts the program of a package under Wine.
//
// A 64-bit build (a machine that cannot run 32-bit code) ships the 32-bit program, which
// cannot start here: the test then also packages this build's own program the same way,
// and starts that one.
#include <doctest.h>

#include <cstdint>
#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <sstream>

#include "driver/engine_helpers.h"
#include "driver/ui_driver.h"
#include "resources/resource.h"
#include "sliverdisk_version.h"

namespace {

const std::string kRelease = std::string("sliverdisk-") + SLIVERDISK_VERSION_TEXT + "-win32";
const std::string kFloppyTitle = "Sliverdisk Utility - Media: Floppy";
constexpr uint16_t kMachineX86 = 0x14c;
constexpr uint16_t kMachineX64 = 0x8664;

std::string unix_folder()
{
    static const std::string folder = drv::test_folder("package");
    return folder;
}

// Makes a package into <test folder>/<name>/ and unpacks it into <name>/unpacked/.
bool make_and_unpack(const std::string& name, const std::string& cpack_options,
                     const std::string& zip)
{
    const std::string out = unix_folder() + "/" + name;
    return drv::host_command("cpack --config '" + drv::build_dir() + "/CPackConfig.cmake' " +
                                 cpack_options + " -B '" + out + "'",
                             120000) &&
           drv::host_command("mkdir -p '" + out + "/unpacked' && cd '" + out +
                             "/unpacked' && cmake -E tar xf '../" + zip + ".zip'");
}

std::string unpacked(const std::string& name, const std::string& file = "")
{
    const std::string folder = eng::win(unix_folder() + "/" + name + "/unpacked");
    return file.empty() ? folder : folder + "\\" + file;
}

// Every line ends in CR LF, the last one too, and no CR stands alone.
bool windows_line_ends(const std::string& text)
{
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0)
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            return false;
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))
            return false;
    }
    return true;
}

uint32_t little_endian(const std::string& bytes, size_t at, size_t width)
{
    uint32_t value = 0;
    for (size_t i = width; i-- > 0;)
        value = value << 8 | uint8_t(bytes[at + i]);
    return value;
}

struct PeHeader {
    uint16_t machine = 0;
    uint16_t subsystem = 0;
    uint32_t os_version = 0;         // major in the high half, minor in the low
    uint32_t subsystem_version = 0;  // the same
};

// The machine, subsystem and version fields of a program's PE header; zeros when it has
// none.
PeHeader pe_header(const std::string& windows_file)
{
    std::string bytes;
    PeHeader pe;
    if (!drv::read_file(windows_file, bytes) || bytes.size() < 0x40 || bytes.compare(0, 2, "MZ"))
        return pe;
    const size_t nt = little_endian(bytes, 0x3c, 4);
    // Signature, file header (20 bytes), then the optional header, whose version fields sit
    // at offsets 40 and 48 and its subsystem field at 68 in both the 32-bit and the 64-bit
    // form.
    if (nt + 24 + 70 > bytes.size() || bytes.compare(nt, 4, std::string("PE\0\0", 4)) != 0)
        return pe;
    pe.machine = uint16_t(little_endian(bytes, nt + 4, 2));
    pe.os_version = little_endian(bytes, nt + 24 + 40, 2) << 16 | little_endian(bytes, nt + 24 + 42, 2);
    pe.subsystem_version = little_endian(bytes, nt + 24 + 48, 2) << 16 | little_endian(bytes, nt + 24 + 50, 2);
    pe.subsystem = uint16_t(little_endian(bytes, nt + 24 + 68, 2));
    return pe;
}

// The file offset of a relative virtual address, through the section table; 0 when no
// section holds it.
size_t file_offset(const std::string& bytes, size_t nt, uint32_t rva)
{
    const size_t sections = little_endian(bytes, nt + 6, 2);
    const size_t table = nt + 24 + little_endian(bytes, nt + 20, 2);
    for (size_t i = 0; i < sections && table + 40 * (i + 1) <= bytes.size(); ++i) {
        const size_t at = table + 40 * i;
        const uint32_t start = little_endian(bytes, at + 12, 4);
        const uint32_t size = std::max(little_endian(bytes, at + 8, 4), little_endian(bytes, at + 16, 4));
        if (rva >= start && rva - start < size)
            return little_endian(bytes, at + 20, 4) + (rva - start);
    }
    return 0;
}

std::string text_at(const std::string& bytes, size_t at)
{
    return at < bytes.size() ? std::string(bytes.c_str() + at) : std::string();
}

std::string upper(std::string text)
{
    CharUpperBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

// Every function a 32-bit program imports, as "DLL FUNCTION" with the DLL in capitals (an
// import by number as "DLL #n"); empty when the file has no 32-bit import table.
std::set<std::string> imports_of(const std::string& windows_file)
{
    std::set<std::string> found;
    std::string bytes;
    if (!drv::read_file(windows_file, bytes) || bytes.size() < 0x40)
        return found;
    const size_t nt = little_endian(bytes, 0x3c, 4);
    constexpr uint32_t kPe32Magic = 0x10b;
    if (nt + 24 + 112 > bytes.size() || little_endian(bytes, nt + 24, 2) != kPe32Magic)
        return found;
    // The import directory is the second entry of the optional header's data directories.
    size_t entry = file_offset(bytes, nt, little_endian(bytes, nt + 24 + 96 + 8, 4));
    for (; entry && entry + 20 <= bytes.size(); entry += 20) {
        const uint32_t names = little_endian(bytes, entry, 4);
        const uint32_t thunks = little_endian(bytes, entry + 16, 4);
        if (names == 0 && thunks == 0)
            break;
        const std::string dll = upper(text_at(bytes, file_offset(bytes, nt, little_endian(bytes, entry + 12, 4))));
        for (size_t at = file_offset(bytes, nt, names ? names : thunks); at && at + 4 <= bytes.size(); at += 4) {
            const uint32_t thunk = little_endian(bytes, at, 4);
            if (thunk == 0)
                break;
            found.insert(dll + " " + (thunk & 0x80000000u
                                          ? "#" + std::to_string(thunk & 0xffff)
                                          : text_at(bytes, file_offset(bytes, nt, thunk) + 2)));
        }
    }
    return found;
}

// The allowed imports, "DLL FUNCTION" to the rest of its line (the oldest Windows).
std::map<std::string, std::string> allowed_imports()
{
    std::map<std::string, std::string> allowed;
    std::string text;
    drv::read_file(eng::win(SLIVERDISK_ALLOWED_IMPORTS), text);
    std::istringstream list(text);
    std::string line;
    while (std::getline(list, line)) {
        std::istringstream fields(line);
        std::string dll, function, windows_9x, windows_nt;
        if (line.empty() || line[0] == '#' || !(fields >> dll >> function >> windows_9x >> windows_nt))
            continue;
        allowed[dll + " " + function] = windows_9x + " " + windows_nt;
    }
    return allowed;
}

// Windows 95 has it (or, for the C runtime only, 98 and the Windows 95 releases that
// install it), and so has NT 4.0 or an earlier NT.
bool on_windows_95_and_nt_4(const std::string& import, const std::string& oldest)
{
    const bool c_runtime = import.rfind("MSVCRT.DLL ", 0) == 0;
    static const std::set<std::string> nt = {"3.1", "3.5", "3.51", "4.0"};
    const size_t space = oldest.find(' ');
    const std::string windows_9x = oldest.substr(0, space);
    return (windows_9x == "95" || (c_runtime && windows_9x == "98")) &&
           nt.count(oldest.substr(space + 1)) == 1;
}

struct FileVersion {
    DWORD ms = 0, ls = 0;
    std::string text;
};

FileVersion file_version(const std::string& windows_file)
{
    FileVersion v;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(windows_file.c_str(), &ignored);
    std::string data(size, '\0');
    if (size == 0 || !GetFileVersionInfoA(windows_file.c_str(), 0, size, &data[0]))
        return v;
    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueA(data.data(), "\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
        v.ms = static_cast<VS_FIXEDFILEINFO*>(value)->dwFileVersionMS;
        v.ls = static_cast<VS_FIXEDFILEINFO*>(value)->dwFileVersionLS;
    }
    if (VerQueryValueA(data.data(), "\\StringFileInfo\\040904b0\\FileVersion", &value, &length))
        v.text = static_cast<const char*>(value);
    return v;
}

// The names of a program's application manifests ("#1" for id 1) and the text of the one
// the loader reads, id 1: as the program carries them, not as the source has them.
struct Manifest {
    std::vector<std::string> names;
    std::string text;
};

BOOL CALLBACK collect_name(HMODULE, LPCSTR, LPSTR name, LONG_PTR names)
{
    reinterpret_cast<std::vector<std::string>*>(names)->push_back(
        IS_INTRESOURCE(name) ? "#" + std::to_string(reinterpret_cast<ULONG_PTR>(name)) : name);
    return TRUE;
}

Manifest manifest_of(const std::string& windows_file)
{
    Manifest manifest;
    HMODULE image = LoadLibraryExA(windows_file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!image)
        return manifest;
    EnumResourceNamesA(image, RT_MANIFEST, collect_name,
                       reinterpret_cast<LONG_PTR>(&manifest.names));
    HRSRC found = FindResourceA(image, CREATEPROCESS_MANIFEST_RESOURCE_ID,
                                RT_MANIFEST);
    HGLOBAL loaded = found ? LoadResource(image, found) : nullptr;
    if (loaded)
        manifest.text.assign(static_cast<const char*>(LockResource(loaded)),
                             SizeofResource(image, found));
    FreeLibrary(image);
    return manifest;
}

// Every element of an XML text, in order: its name without a namespace prefix, and its
// start tag. Comments are skipped, so words in them are no settings.
std::vector<std::pair<std::string, std::string>> xml_elements(const std::string& xml)
{
    std::vector<std::pair<std::string, std::string>> elements;
    for (size_t at = xml.find('<'); at != std::string::npos; at = xml.find('<', at + 1)) {
        if (xml.compare(at, 4, "<!--") == 0) {
            at = xml.find("-->", at);
            if (at == std::string::npos)
                break;
            continue;
        }
        const size_t end = xml.find('>', at);
        if (end == std::string::npos)
            break;
        if (xml[at + 1] == '/' || xml[at + 1] == '?')
            continue;
        const std::string tag = xml.substr(at, end - at + 1);
        const std::string name = tag.substr(1, tag.find_first_of(" \t\r\n/>") - 1);
        elements.emplace_back(name.substr(name.find(':') + 1), tag);
    }
    return elements;
}

// An attribute's value in a start tag; empty when it has none.
std::string attribute(const std::string& tag, const std::string& name)
{
    for (size_t at = tag.find(name + "=\""); at != std::string::npos;
         at = tag.find(name + "=\"", at + 1)) {
        if (std::isspace(static_cast<unsigned char>(tag[at - 1]))) {
            const size_t start = at + name.size() + 2;
            return tag.substr(start, tag.find('"', start) - start);
        }
    }
    return "";
}

// Without a manifest, Vista and later would virtualize the program's writes into protected
// folders; with more than asInvoker and the systems it knows, it would change how the
// program looks (DPI awareness, common controls 6) or what it may do.
void check_manifest(const std::string& windows_file)
{
    const Manifest manifest = manifest_of(windows_file);
    CHECK(manifest.names == std::vector<std::string>{"#1"});
    INFO("the program's manifest: " << manifest.text);
    std::vector<std::string> names;
    std::string execution_level;
    std::set<std::string> supported;
    for (const auto& element : xml_elements(manifest.text)) {
        names.push_back(element.first);
        if (element.first == "requestedExecutionLevel")
            execution_level = attribute(element.second, "level") + " uiAccess=" +
                              attribute(element.second, "uiAccess");
        if (element.first == "supportedOS")
            supported.insert(upper(attribute(element.second, "Id")));
    }
    CHECK(execution_level == "asInvoker uiAccess=false");
    CHECK(supported == std::set<std::string>{
                           "{E2011457-1546-43C5-A5FE-008DEEE3D3F0}",  // Vista
                           "{35138B9A-5D96-4FBD-8E2D-A2440225F93A}",  // 7
                           "{4A2F28E3-53B9-4441-BA9C-D69D4A4A6E38}",  // 8
                           "{1F676C76-80E1-4239-95BB-83D0F6D0DA78}",  // 8.1
                           "{8E0F7A12-BFB3-4FE8-B9A5-48FD50A15A9A}",  // 10 and 11
                       });
    // Nothing else: no dpiAware or dpiAwareness (windowsSettings), no dependency.
    CHECK(names == std::vector<std::string>{"assembly", "trustInfo", "security",
                                            "requestedPrivileges", "requestedExecutionLevel",
                                            "compatibility", "application", "supportedOS",
                                            "supportedOS", "supportedOS", "supportedOS",
                                            "supportedOS"});
}

}  // namespace

TEST_CASE("the release zip holds the 32-bit program, README.txt and LICENSE.txt, with its checksum")
{
    REQUIRE(make_and_unpack("release", "", kRelease));

    CHECK(eng::files_in(unpacked("release")) ==
          std::vector<std::string>{"LICENSE.txt", "README.txt", "sliverdisk.exe"});

    std::string readme, licence;
    REQUIRE(drv::read_file(unpacked("release", "README.txt"), readme));
    REQUIRE(drv::read_file(unpacked("release", "LICENSE.txt"), licence));
    CHECK(windows_line_ends(readme));
    CHECK(windows_line_ends(licence));
    CHECK(readme.rfind(std::string("Sliverdisk Utility, version ") + SLIVERDISK_VERSION_TEXT +
                           "\r\n",
                       0) == 0);
    CHECK(licence.rfind("MIT License\r\n", 0) == 0);

    const PeHeader pe = pe_header(unpacked("release", "sliverdisk.exe"));
    CHECK(pe.machine == kMachineX86);
    CHECK(pe.subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI);
    // Windows 95 and NT 4.0 refuse a program that asks for a later version of either.
    CHECK(pe.os_version == 0x40000u);
    CHECK(pe.subsystem_version == 0x40000u);
    // The loader of an older Windows refuses to start a program that imports a call it
    // does not have.
    const std::map<std::string, std::string> allowed = allowed_imports();
    REQUIRE(allowed.size() > 100);
    for (const auto& entry : allowed) {
        INFO("allowed_imports.txt: " << entry.first << " " << entry.second);
        CHECK(on_windows_95_and_nt_4(entry.first, entry.second));
    }
    const std::set<std::string> imports = imports_of(unpacked("release", "sliverdisk.exe"));
    REQUIRE(imports.size() > 100);
    for (const std::string& import : imports) {
        INFO("an import outside allowed_imports.txt: " << import);
        CHECK(allowed.count(import) == 1);
    }

    check_manifest(unpacked("release", "sliverdisk.exe"));

    const FileVersion version = file_version(unpacked("release", "sliverdisk.exe"));
    CHECK(version.text == SLIVERDISK_VERSION_TEXT);
    CHECK(version.ms == 0x10003u);
    CHECK(version.ls == 0u);

    // One line in the form `sha256sum -c` reads, naming the zip beside it, and it matches.
    const std::string release = unix_folder() + "/release";
    std::string line;
    REQUIRE(drv::read_file(eng::win(release + "/" + kRelease + ".zip.sha256"), line));
    CHECK(line.size() == 64 + 2 + kRelease.size() + 4 + 1);
    CHECK(line.find_first_not_of("0123456789abcdef") == 64);
    CHECK(line.substr(64) == "  " + kRelease + ".zip\n");
    CHECK(drv::host_command("cd '" + release + "' && sha256sum -c --status '" + kRelease +
                            ".zip.sha256'"));
    // A changed zip no longer matches.
    CHECK(drv::host_command("cd '" + release + "' && printf x >>'" + kRelease + ".zip'"));
    CHECK_FALSE(drv::host_command("cd '" + release + "' && sha256sum -c --status '" + kRelease +
                                  ".zip.sha256'"));
}

TEST_CASE("the program of a package starts under Wine and ends on Exit")
{
#ifdef _WIN64
    const std::string name = "this-build";
    REQUIRE(make_and_unpack(name,
                            "-D 'CPACK_COMPONENTS_ALL=documents;this_build' "
                            "-D CPACK_PACKAGE_FILE_NAME=sliverdisk-this-build",
                            "sliverdisk-this-build"));
    CHECK(eng::files_in(unpacked(name)) ==
          std::vector<std::string>{"LICENSE.txt", "README.txt", "sliverdisk.exe"});
    CHECK(pe_header(unpacked(name, "sliverdisk.exe")).machine == kMachineX64);
#else
    const std::string name = "release";
    REQUIRE(make_and_unpack(name, "", kRelease));
#endif
    drv::Program app;
    REQUIRE(app.start(SW_SHOWNORMAL, drv::kDefaultTimeout, nullptr,
                      unix_folder() + "/" + name + "/unpacked/sliverdisk.exe"));
    CHECK(app.title() == kFloppyTitle);
    app.command(IDM_EXIT);
    CHECK(app.wait_exit() == 0u);
}
