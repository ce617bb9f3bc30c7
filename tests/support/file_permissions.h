#pragma once

#include <linux/capability.h>

namespace sonaro::test {

// While it lives, file permissions hold for the calling thread and the threads it starts, also
// as root: the capabilities that override them (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH) leave the
// effective set and come back at the end. Without them nothing changes.
class FilePermissionsEnforced {
  public:
    FilePermissionsEnforced();
    ~FilePermissionsEnforced();
    FilePermissionsEnforced(const FilePermissionsEnforced&) = delete;
    FilePermissionsEnforced& operator=(const FilePermissionsEnforced&) = delete;

  private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[_LINUX_CAPABILITY_U32S_3]{};
    bool m_dropped = false;
};

}  // namespace sonaro::test
