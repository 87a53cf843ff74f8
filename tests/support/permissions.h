#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

// Root passes over permission bits; without these capabilities (in this thread only) a
// folder's mode holds for root as well.
class PermissionBitsEnforced
{
public:
    PermissionBitsEnforced()
    {
        mSaved = syscall(SYS_capget, &mHeader, mCaps) == 0;
        if (!mSaved)
            return;
        __user_cap_data_struct lowered[2] = {mCaps[0], mCaps[1]};
        lowered[0].effective &=
            ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
        syscall(SYS_capset, &mHeader, lowered);
    }
    ~PermissionBitsEnforced()
    {
        if (mSaved)
            syscall(SYS_capset, &mHeader, mCaps);
    }

private:
    __user_cap_header_struct mHeader{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct mCaps[2] = {};
    bool mSaved = false;
};
