// The bad-sector drive (see bad_disk.h).
//   mount_bad_disk - starts the file system over a folder; the daemon it becomes ends with
//                    the unmount
#include "driver/bad_disk.h"

#include "driver/ui_driver.h"

namespace drv {

namespace {

// Its messages go to `log`. Every descriptor is redirected: the daemon must hold none of
// the host command's.
bool mount_bad_disk(const std::string& dir, const std::string& served,
                    const std::vector<BadBytes>& bad, const std::string& log)
{
    std::string ranges;
    for (const BadBytes& b : bad)
        ranges += " --bad " + shell_quote(b.unix_file + ":" + std::to_string(b.from) + ":" +
                                          std::to_string(b.to));
    const std::string d = shell_quote(dir);
    return host_command("mkdir -p " + d + " && (! mountpoint -q " + d + " || umount " + d +
                        ") && /usr/bin/python3 " + shell_quote(SLIVERDISK_BAD_SECTOR_FS) + " " +
                        shell_quote(served) + " " + d + ranges +
                        " -o ro,direct_io,attr_timeout=0,entry_timeout=0 </dev/null >" +
                        shell_quote(log) + " 2>&1 && mountpoint -q " + d);
}

} // namespace

std::string bad_disk_unavailable()
{
    if (!host_command("test -c /dev/fuse"))
        return "no /dev/fuse on this machine";
    if (!host_command("test \"$(id -u)\" -eq 0"))
        return "mounting a FUSE file system here takes root";
    if (!host_command("/usr/bin/python3 -c 'import fuse'"))
        return "/usr/bin/python3 has no fuse module (Debian: python3-fuse)";
    const std::string dir = build_dir() + "/test-data/bad_disk_probe";
    if (!host_command("mkdir -p " + shell_quote(dir + "/served")))
        return "no folder for a trial mount under " + dir;
    if (BadDisk(dir + "/mount", dir + "/served", {}).mounted())
        return "";
    std::string said;
    read_file(windows_path(dir + "/mount.log"), said);
    return "a trial mount of the bad-sector file system failed: " + said;
}

BadDisk::BadDisk(const std::string& mount_dir, const std::string& served_dir,
                 const std::vector<BadBytes>& bad)
    : dir_(mount_dir), mounted_(mount_bad_disk(mount_dir, served_dir, bad, mount_dir + ".log"))
{
}

BadDisk::~BadDisk()
{
    const std::string d = shell_quote(dir_);
    host_command("! mountpoint -q " + d + " || umount " + d + " || umount -l " + d);
}

} // namespace drv
