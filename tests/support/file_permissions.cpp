#include "support/file_permissions.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

namespace sonaro::test {

FilePermissionsEnforced::FilePermissionsEnforced() {
    if (syscall(SYS_capget, &m_header, m_saved) != 0) {
        return;
    }
    __user_cap_data_struct fewer[_LINUX_CAPABILITY_U32S_3];
    std::memcpy(fewer, m_saved, sizeof fewer);
    fewer[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    m_dropped = syscall(SYS_capset, &m_header, fewer) == 0;
}

FilePermissionsEnforced::~FilePermissionsEnforced() {
    if (m_dropped) {
        syscall(SYS_capset, &m_header, m_saved);
    }
}

}  // namespace sonaro::test
