#include "config/installed_flags.h"

namespace kelm {

namespace {

// Constant-initialised, so they are valid before any dynamic initialisation
// (the application object binds its own fields from its constructor).
int32_t g_ownProductInstalled = 0;
int32_t g_ownRelatedProductInstalled = 0;
constinit int32_t* g_productInstalled = &g_ownProductInstalled;
constinit int32_t* g_relatedProductInstalled = &g_ownRelatedProductInstalled;

} // namespace

void BindInstalledFlags(int32_t& productInstalled, int32_t& relatedProductInstalled) noexcept
{
    g_productInstalled = &productInstalled;
    g_relatedProductInstalled = &relatedProductInstalled;
}

InstalledFlags AppInstalledFlags() noexcept
{
    return InstalledFlags{*g_productInstalled, *g_relatedProductInstalled};
}

} // namespace kelm
