// The SIDs of well-known accounts; see registry.h. In a file of its own, so
// that tests that replace the security operations can still link it.
#include "registry/registry.h"

namespace {

// Each laid out as the system lays out a SID: revision 1, the count of
// sub-authorities, the authority, the sub-authorities.
const struct {
    BYTE revision;
    BYTE count;
    BYTE authority[6];
    DWORD rids[6];
} kWellKnownSids[] = {
    {1, 2, {0, 0, 0, 0, 0, 5}, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}},
    {1, 1, {0, 0, 0, 0, 0, 5}, {SECURITY_LOCAL_SYSTEM_RID}},
    {1, 6, {0, 0, 0, 0, 0, 5}, {80, 956008885, 3418522649u, 1831038044, 1853292631, 2271478464u}},
    {1, 2, {0, 0, 0, 0, 0, 5}, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS}},
    {1, 1, {0, 0, 0, 0, 0, 1}, {SECURITY_WORLD_RID}},
};

} // namespace

PSID WellKnownSid(int account)
{
    return (PSID)&kWellKnownSids[account];
}
