#include <dlfcn.h>

#include <gtest/gtest.h>

#include "host/package/package.h"
#include "support/expdados_world.h"

namespace kve {
namespace {

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KVE_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define KVE_ASAN 1
#endif

template <typename F>
F Entry(void* lib, const char* name) {
  void* p = dlsym(lib, name);
  EXPECT_NE(p, nullptr) << name << ": " << dlerror();
  return reinterpret_cast<F>(p);
}

TEST(Package, TheHostLoadsItAndOpensTheScreenThroughItsCEntries) {
#ifdef KVE_ASAN
  // The package holds its own copy of the screen code, which AddressSanitizer reports as a
  // one-definition clash with the copy linked into this test.
  GTEST_SKIP() << "not under AddressSanitizer";
#else
  void* lib = dlopen(KVE_SCREEN_PKG, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto initialize = Entry<void (*)()>(lib, "Initialize");
  auto finalize = Entry<void (*)()>(lib, "Finalize");
  auto info = Entry<const KvePackageInfo* (*)()>(lib, "GetPackageInfoTable");
  auto setHost = Entry<void (*)(ExpDadosServices*, maker::Services*)>(lib, "SetExpDadosHost");
  auto iniProc = Entry<void (*)()>(lib, "IniProc");
  ASSERT_TRUE(initialize && finalize && info && setHost && iniProc);

  EXPECT_STREQ(info()->name, "Pkg_kve07000");
  ASSERT_EQ(info()->unitCount, 1u);
  EXPECT_STREQ(info()->units[0].name, "Cli_kve07000");

  {
    testing::ExpDadosWorld world("0002");
    initialize();
    setHost(&world.services, &world.maker);
    iniProc();
    iniProc();  // shows the same screen again
    EXPECT_TRUE(world.server.connected);
    EXPECT_EQ(world.server.connects, 1);
    EXPECT_EQ(world.server.host, "10.1.2.3");
    EXPECT_EQ(world.refreshed.size(), 1u);

    finalize();  // unloading with the screen open drops its connection
    EXPECT_FALSE(world.server.connected);
    setHost(nullptr, nullptr);
  }
  dlclose(lib);
#endif
}

}  // namespace
}  // namespace kve
