#include "capture/png_output.h"
#include "capture/screen_shot.h"
#include "common/handles.h"
#include "tests/support/bmp_file.h"
#include "tests/support/child_process.h"
#include "tests/support/process_usage.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string StandIn(const std::string& variant, const std::string& file = "libpng.dll") {
    return ProgramFolder() + "stand_in\\" + variant + "\\" + file;
}

void* RuntimeFunction(const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("msvcrt.dll"), name));
}

std::string ReadText(const std::string& path) {
    const auto bytes = ReadWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
}

bool BindingIsEmpty() {
    const PngBindingRecord& b = PngBinding;
    return !b.Library && !b.Runtime && !b.OpenOutput && !b.CloseOutput &&
           !b.png_create_write_struct && !b.png_create_info_struct && !b.png_destroy_write_struct &&
           !b.png_init_io && !b.png_set_IHDR && !b.png_set_swap && !b.png_set_text && !b.png_set_write_status_fn &&
           !b.png_write_info && !b.png_write_image && !b.png_write_end && !b.png_write_flush &&
           !b.png_get_libpng_ver;
}

class PngBindingTest : public ::testing::Test {
protected:
    void TearDown() override {
        UnbindPngLibrary();
        EXPECT_EQ(GetModuleHandleA("libpng.dll"), nullptr) << "a stand-in stayed loaded";
        EXPECT_EQ(GetModuleHandleA("lpng.dll"), nullptr) << "a stand-in stayed loaded";
    }

    // Writes a 4x3 bitmap through the bound library.
    bool WriteSample(const std::string& path) {
        WindowDc screen(nullptr);
        UniqueBitmap bitmap(CreateCompatibleBitmap(screen.get(), 4, 3));
        return WritePngFile(path.c_str(), bitmap.get(), 4, 3);
    }

    TempDir dir;
};

TEST_F(PngBindingTest, LibraryFileFunctionsAreUsedWhenBothExist) {
    ASSERT_TRUE(BindPngLibrary(StandIn("full").c_str()));
    EXPECT_EQ(PngBinding.Runtime, nullptr);
    EXPECT_EQ(reinterpret_cast<void*>(PngBinding.OpenOutput),
              reinterpret_cast<void*>(GetProcAddress(PngBinding.Library, "png_open_file")));
    EXPECT_EQ(reinterpret_cast<void*>(PngBinding.CloseOutput),
              reinterpret_cast<void*>(GetProcAddress(PngBinding.Library, "png_close_file")));
    const std::string path = dir.file("full.png");
    EXPECT_TRUE(WriteSample(path));
    EXPECT_EQ(ReadText(path), "stand-in 1.0.1\n");
    auto calls = reinterpret_cast<int (*)()>(
        reinterpret_cast<void*>(GetProcAddress(PngBinding.Library, "stand_in_open_file_calls")));
    ASSERT_NE(calls, nullptr);
    EXPECT_EQ(calls(), 1);
}

TEST_F(PngBindingTest, OneFileFunctionMissingTakesBothFromTheRuntime) {
    for (const char* variant : {"no_close", "no_open"}) {
        SCOPED_TRACE(variant);
        ASSERT_TRUE(BindPngLibrary(StandIn(variant).c_str()));
        EXPECT_EQ(PngBinding.Runtime, GetModuleHandleA("msvcrt.dll"));
        EXPECT_EQ(reinterpret_cast<void*>(PngBinding.OpenOutput), RuntimeFunction("fopen"));
        EXPECT_EQ(reinterpret_cast<void*>(PngBinding.CloseOutput), RuntimeFunction("fclose"));
        const std::string path = dir.file(std::string(variant) + ".png");
        EXPECT_TRUE(WriteSample(path));
        EXPECT_EQ(ReadText(path), "stand-in 1.0.1\n");
        UnbindPngLibrary();
        EXPECT_TRUE(BindingIsEmpty());
        EXPECT_NE(GetModuleHandleA("msvcrt.dll"), nullptr);
    }
}

TEST_F(PngBindingTest, LibraryWithoutSwapIsRefusedAndReleased) {
    EXPECT_FALSE(BindPngLibrary(StandIn("no_swap").c_str()));
    EXPECT_TRUE(BindingIsEmpty());
    EXPECT_EQ(GetModuleHandleA("libpng.dll"), nullptr);
    EXPECT_FALSE(BindPngLibrary(dir.file("nothing-here.dll").c_str()));
    EXPECT_TRUE(BindingIsEmpty());
    EXPECT_FALSE(WriteSample(dir.file("unbound.png")));
}

TEST_F(PngBindingTest, SecondVersionStringIsTriedWhenTheFirstIsRefused) {
    ASSERT_TRUE(BindPngLibrary(StandIn("refuse_101").c_str()));
    const std::string path = dir.file("second.png");
    EXPECT_TRUE(WriteSample(path));
    EXPECT_EQ(ReadText(path), "stand-in 1.2.0\n");
}

TEST_F(PngBindingTest, EveryVersionRefusedLeavesAnEmptyFile) {
    ASSERT_TRUE(BindPngLibrary(StandIn("refuse_all").c_str()));
    const std::string path = dir.file("refused.png");
    EXPECT_FALSE(WriteSample(path));
    EXPECT_TRUE(PathExists(path));
    EXPECT_TRUE(ReadWholeFile(path).empty());
}

TEST_F(PngBindingTest, MissingInfoStructureEndsTheWriteWithTheFileClosed) {
    ASSERT_TRUE(BindPngLibrary(StandIn("no_info").c_str()));
    const std::string path = dir.file("no-info.png");
    const int handles = OpenKernelHandles();
    EXPECT_FALSE(WriteSample(path));
    EXPECT_EQ(OpenKernelHandles(), handles);
    EXPECT_TRUE(DeleteFileA(path.c_str())) << "the output is still open";
}

// The binding holds a reference of its own: the host freeing the copy it
// loaded leaves every bound function in place, and unbinding frees only the
// binding's reference.
TEST_F(PngBindingTest, LibraryLoadedByTheHostOutlivesTheHostsReference) {
    UniqueModule hostCopy(LoadLibraryA(StandIn("full").c_str()));
    ASSERT_TRUE(hostCopy);
    ASSERT_TRUE(BindPngLibrary("libpng.dll"));
    EXPECT_EQ(PngBinding.Library, hostCopy.get());
    hostCopy.reset();
    ASSERT_NE(GetModuleHandleA("libpng.dll"), nullptr) << "the host's FreeLibrary unloaded the bound library";
    const std::string path = dir.file("after-host-freed.png");
    EXPECT_TRUE(WriteSample(path));
    EXPECT_EQ(ReadText(path), "stand-in 1.0.1\n");
    UnbindPngLibrary();
    EXPECT_EQ(GetModuleHandleA("libpng.dll"), nullptr);
    UnbindPngLibrary();  // a second unbinding releases nothing twice
}

TEST_F(PngBindingTest, ScreenShotTakesTheLibraryBesideTheProgramUnderTheSecondNameToo) {
    const std::string pair = ProgramFolder() + "stand_in\\pair\\";
    for (const char* file : {"libpng.dll", "lpng.dll"})
        ASSERT_TRUE(CopyFileA((pair + file).c_str(), (ProgramFolder() + file).c_str(), FALSE)) << file;
    ScopeExit removeCopies([] {
        for (const char* file : {"libpng.dll", "lpng.dll"}) DeleteFileA((ProgramFolder() + file).c_str());
    });
    {
        TScreenShot shot;
        EXPECT_TRUE(shot.PngAvailable);
        EXPECT_EQ(GetModuleHandleA("libpng.dll"), nullptr) << "the incomplete library was kept";
        EXPECT_NE(GetModuleHandleA("lpng.dll"), nullptr);
        EXPECT_EQ(PngBinding.Library, GetModuleHandleA("lpng.dll"));
    }
    EXPECT_EQ(GetModuleHandleA("lpng.dll"), nullptr);
    EXPECT_TRUE(BindingIsEmpty());
}

// A library of either name in the current folder or on PATH, as a sample's
// folder may hold one, is never loaded; nor is one named by a relative path.
TEST_F(PngBindingTest, LibraryInTheCurrentFolderOrOnThePathIsNeverLoaded) {
    const CurrentFolder sampleFolder;
    TempDir pathFolder;
    for (const std::string& folder : {sampleFolder.path(), pathFolder.path()})
        for (const char* file : {"libpng.dll", "lpng.dll"})
            ASSERT_TRUE(CopyFileA(StandIn("full").c_str(), (folder + "\\" + file).c_str(), FALSE));
    char path[32768] = {};
    GetEnvironmentVariableA("PATH", path, sizeof path);
    ASSERT_TRUE(SetEnvironmentVariableA("PATH", (pathFolder.path() + ";" + path).c_str()));
    {
        TScreenShot shot;
        EXPECT_FALSE(shot.PngAvailable);
    }
    EXPECT_FALSE(BindPngLibrary(".\\libpng.dll"));
    SetEnvironmentVariableA("PATH", path);
    EXPECT_TRUE(BindingIsEmpty());
}

}  // namespace
