// The codec components as the program meets them: the plug-in's table, and each component
// reading files by path, refusing with its words, and writing through the job it prepares.
#include <dlfcn.h>
#include <unistd.h>

#include <fstream>
#include <set>

#include "CodecFixture.h"
#include "XImageCodec.h"
#include "common/FakeSystem.h"
#include "odata/GCompRef.h"
#include "platform/base/Files.h"

using namespace codec_test;

namespace {

TEST(CodecsPlugin, ExportsTheThreeCodecComponentsAndNothingElse) {
  void* lib = dlopen(CODECS_PLUGIN, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto* table = static_cast<const GComponentRecord* const*>(dlsym(lib, GCOMPONENT_TABLE_SYMBOL));
  ASSERT_NE(table, nullptr);
  const GComponentRecord* r = *table;
  EXPECT_EQ(plat::StrCmp(r[0].description, GCOMPONENT_TABLE_HEADER), 0);
  std::set<std::u16string> names;
  for (size_t n = 1; r[n].interfaceName; ++n) {
    EXPECT_EQ(plat::StrCmp(r[n].interfaceName, u"OImageCodec"), 0);
    EXPECT_NE(r[n].factory, nullptr);
    names.insert(r[n].implementationName);
  }
  EXPECT_EQ(names, (std::set<std::u16string>{u"Kestrum", u"Sevlin", u"Harsk"}));
  EXPECT_EQ(dlsym(lib, "_ZN5codec9PngDecodeEP8_IO_FILERK9LayerLockPNS_10CodecErrorE"), nullptr);
  dlclose(lib);
}

class CodecComponent : public ::testing::Test {
 protected:
  CodecComponent() {
    sys.Register(u"Kestrum", GCreateComponent<XKestrum>);
    sys.Register(u"Sevlin", GCreateComponent<XSevlin>);
    sys.Register(u"Harsk", GCreateComponent<XHarsk>);
    char tmpl[] = "/tmp/tavrik-codecs-XXXXXX";
    folder = mkdtemp(tmpl);
  }
  ~CodecComponent() override { std::system(("rm -rf " + folder).c_str()); }
  GCompRef<OImageCodec> Make(const char16_t* name) {
    return static_cast<OImageCodec*>(sys.NewObj(name, nullptr)->GetInterface(u"OImageCodec"));
  }
  std::u16string Path(const char* name) { return plat::FromUtf8(folder + "/" + name); }
  // Runs a prepared job the way the worker does.
  static int32_t Run(JobRecord& job, JobControl* control) { return job.proc(job.object, &job, control); }
  FakeSystem sys;
  std::string folder;
};

TEST_F(CodecComponent, WritesThroughItsJobAndReadsTheFileBack) {
  MemLayer src(21, 9, OLayer::myFORMAT_C32);
  FillColour(src);
  for (const char16_t* name : {u"Kestrum", u"Harsk", u"Sevlin"}) {
    SCOPED_TRACE(U8(name));
    GCompRef<OImageCodec> codec = Make(name);
    const std::u16string path = Path("out.img");
    plat::DeleteFile(path);
    JobRecord job{};
    job.result = -1;
    ASSERT_TRUE(codec->Encode(path.c_str(), &src.lock, 100, 0xFFFFFF, 0, &job));
    EXPECT_EQ(job.result, 0);  // nothing is written before the job runs
    EXPECT_FALSE(plat::FileExists(path));
    JobControl control;
    EXPECT_EQ(Run(job, &control), TRUE);
    EXPECT_EQ(control.progress.load(), 8);
    ImageInfo info{};
    ASSERT_TRUE(codec->ReadInfo(path.c_str(), &info)) << U8(codec->GetErrorText());
    EXPECT_EQ(info.width, 21u);
    EXPECT_EQ(info.height, 9u);
    EXPECT_EQ(info.format, uint32_t(OLayer::myFORMAT_C32));
    MemLayer back(21, 9, OLayer::myFORMAT_C32);
    ASSERT_TRUE(codec->Decode(path.c_str(), &back.lock, 0)) << U8(codec->GetErrorText());
    EXPECT_EQ(U8(codec->GetErrorText()), "");
    if (plat::StrCmp(name, u"Sevlin") != 0) {
      EXPECT_EQ(back.C(20, 8), src.C(20, 8));
    }
  }
}

TEST_F(CodecComponent, SaysWhatWentWrong) {
  GCompRef<OImageCodec> png = Make(u"Kestrum");
  ImageInfo info{};
  EXPECT_FALSE(png->ReadInfo(Path("missing.png").c_str(), &info));
  EXPECT_EQ(U8(png->GetErrorText()), "无法打开文件");
  {
    std::ofstream(folder + "/text.png") << "plain text, not an image";
  }
  EXPECT_FALSE(png->ReadInfo(Path("text.png").c_str(), &info));
  EXPECT_EQ(U8(png->GetErrorText()), "不是 PNG 文件");

  // A job that cannot create its file fails with words, and the codec refuses what it
  // cannot write before any job exists.
  MemLayer src(4, 4, OLayer::myFORMAT_A16);
  JobRecord job{};
  ASSERT_TRUE(png->Encode(Path("no/such/folder/x.png").c_str(), &src.lock, 100, 0, 0, &job));
  EXPECT_EQ(Run(job, nullptr), FALSE);
  EXPECT_EQ(U8(png->GetErrorText()), "无法创建文件");
  EXPECT_FALSE(png->Encode(Path("x.png").c_str(), &src.lock, 100, 0, 1, &job));
  LayerLock empty;
  EXPECT_FALSE(png->Encode(Path("x.png").c_str(), &empty, 100, 0, 0, &job));
  EXPECT_EQ(U8(png->GetErrorText()), "没有可写入的内容");
}

TEST_F(CodecComponent, AFullDiskFailsTheJob) {
  if (!plat::FileExists(u"/dev/full")) GTEST_SKIP() << "no /dev/full";
  MemLayer src(300, 300, OLayer::myFORMAT_C32);
  FillColour(src);
  for (const char16_t* name : {u"Kestrum", u"Harsk", u"Sevlin"}) {
    GCompRef<OImageCodec> codec = Make(name);
    JobRecord job{};
    ASSERT_TRUE(codec->Encode(u"/dev/full", &src.lock, 100, 0, 0, &job));
    EXPECT_EQ(Run(job, nullptr), FALSE) << U8(name);
    EXPECT_NE(U8(codec->GetErrorText()).find("写入"), std::string::npos) << U8(codec->GetErrorText());
  }
}

}  // namespace
