// The recorder's use of the Windows Media writer against the test double of
// its interfaces: the profile it builds, the video input's type from the
// first frame, and what each write result does.
#include "core/base/ComRef_win.h"
#include "extras/WmFormats_win.h"
#include "extras/WmMediaWriter.h"
#include "extras/tests/WmWriterDouble_win.h"
#include "tests/support/AppLogFile_win.h"

#include <mmreg.h>
#include <nserror.h>
#include <strmif.h>
#include <amvideo.h>

#include <gtest/gtest.h>

namespace {

using wmdouble::Library;

class WriterTest : public ::testing::Test {
protected:
    ComApartment com;
    Library library;
};

TEST_F(WriterTest, ProfileHasTheScreenAndAudioStreamsAndTheOutputFile)
{
    WmMediaWriter writer(library.Binding());
    ASSERT_TRUE(writer.Init(1280, 800, 5, L"C:\\rec\\GMT_x.wmv")) << writer.ErrorText();
    EXPECT_TRUE(library.ComInitialisedInFactory());
    for (const char* step : {"WMCreateProfileManager", "QueryInterface IWMProfileManager2",
                             "SetSystemProfileVersion 0x90000", "QueryInterface IWMCodecInfo",
                             "CreateEmptyProfile 0x90000", "CreateNewStream audio", "WMCreateWriter", "SetProfile",
                             "GetInputCount", "GetInputProps 0", "GetInputProps 1", "SetOutputFilename"})
        EXPECT_TRUE(library.Called(step)) << step;
    EXPECT_EQ(library.OutputFile(), L"C:\\rec\\GMT_x.wmv");

    const std::vector<wmdouble::Stream> streams = library.Streams();
    ASSERT_EQ(streams.size(), 2u);
    const wmdouble::Stream& video = streams[0];
    EXPECT_EQ(video.number, 1);
    EXPECT_EQ(video.name, L"Screen");
    EXPECT_EQ(video.bitrate, 500000u);
    EXPECT_EQ(video.bufferWindow, 3000u);
    EXPECT_EQ(video.type.sub, WMMEDIASUBTYPE_WMV3);
    const VIDEOINFOHEADER* vih = video.type.As<VIDEOINFOHEADER>();
    ASSERT_NE(vih, nullptr);
    EXPECT_EQ(vih->dwBitErrorRate, Library::kChosenFormatMark) << "the first WMV3 format";
    EXPECT_EQ(vih->dwBitRate, 500000u);
    EXPECT_EQ(vih->AvgTimePerFrame, 400000);  // 2000000 / 5, as the profile has always carried
    EXPECT_EQ(vih->bmiHeader.biWidth, 1280);
    EXPECT_EQ(vih->bmiHeader.biHeight, 800);
    EXPECT_EQ(vih->rcSource.right, 1280);
    EXPECT_EQ(vih->rcTarget.bottom, 800);

    const wmdouble::Stream& audio = streams[1];
    EXPECT_EQ(audio.number, 2);
    EXPECT_EQ(audio.name, L"Audio");
    EXPECT_EQ(audio.type.major, WMMEDIATYPE_Audio);
    EXPECT_EQ(audio.type.sub, WMMEDIASUBTYPE_PCM);
    EXPECT_EQ(audio.type.format, kFormatWaveFormatEx);
    const WAVEFORMATEX* wave = audio.type.As<WAVEFORMATEX>();
    ASSERT_NE(wave, nullptr);
    EXPECT_EQ(wave->wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(wave->nChannels, 1);
    EXPECT_EQ(wave->nSamplesPerSec, 8000u);
    EXPECT_EQ(wave->wBitsPerSample, 16);
    EXPECT_EQ(wave->nBlockAlign, 2);
    EXPECT_EQ(wave->nAvgBytesPerSec, 16000u);

    writer.End();
    EXPECT_FALSE(library.Called("EndWriting")) << "writing never began";
    EXPECT_EQ(library.LiveObjects(), 0);
}

// The first frame sets the video input's uncompressed type and begins
// writing; frames then go to the video input found among the inputs.
TEST_F(WriterTest, FirstFrameSetsTheInputTypeAndBegins)
{
    WmMediaWriter writer(library.Binding());
    ASSERT_TRUE(writer.Init(640, 480, 5, L"C:\\a.wmv"));
    ASSERT_TRUE(writer.Begin(640, 480, 32));
    EXPECT_TRUE(library.Called("SetInputProps 1"));
    const wmdouble::MediaType type = library.VideoInputType();
    EXPECT_EQ(type.major, WMMEDIATYPE_Video);
    EXPECT_EQ(type.sub, WMMEDIASUBTYPE_RGB32);
    EXPECT_EQ(type.format, kFormatVideoInfo);
    const VIDEOINFOHEADER* vih = type.As<VIDEOINFOHEADER>();
    ASSERT_NE(vih, nullptr);
    EXPECT_EQ(vih->bmiHeader.biSize, 40u);
    EXPECT_EQ(vih->bmiHeader.biWidth, 640);
    EXPECT_EQ(vih->bmiHeader.biHeight, 480);
    EXPECT_EQ(vih->bmiHeader.biPlanes, 1);
    EXPECT_EQ(vih->bmiHeader.biBitCount, 32);
    EXPECT_EQ(vih->bmiHeader.biSizeImage, 640u * 480 * 4);
    EXPECT_TRUE(library.Called("BeginWriting"));

    auto fill = [](uint8_t* p, uint32_t n) {
        for (uint32_t i = 0; i < n; ++i)
            p[i] = static_cast<uint8_t>(i);
        return true;
    };
    EXPECT_EQ(writer.WriteFrame(640 * 480 * 4, 2000000, true, fill), WmMediaWriter::Written::Ok);
    const uint8_t sound[4] = {1, 2, 3, 4};
    EXPECT_EQ(writer.WriteSound(sound, 4, 625 * 4), WmMediaWriter::Written::Ok);
    auto video = library.Samples(Library::kVideoInput);
    ASSERT_EQ(video.size(), 1u);
    EXPECT_EQ(video[0].time, 2000000u);
    EXPECT_EQ(video[0].flags, static_cast<DWORD>(WM_SF_CLEANPOINT));
    ASSERT_EQ(video[0].bytes.size(), 640u * 480 * 4);
    EXPECT_EQ(video[0].bytes[257], 1);
    auto audio = library.Samples(Library::kAudioInput);
    ASSERT_EQ(audio.size(), 1u);
    EXPECT_EQ(audio[0].bytes, std::vector<uint8_t>(sound, sound + 4));
    EXPECT_EQ(audio[0].time, 2500u);

    writer.End();
    EXPECT_TRUE(library.Called("EndWriting"));
    EXPECT_EQ(library.LiveObjects(), 0);
}

TEST_F(WriterTest, DepthChoosesTheRgbSubtype)
{
    struct {
        int bpp;
        const GUID* sub;
    } cases[] = {{16, &WMMEDIASUBTYPE_RGB555}, {24, &WMMEDIASUBTYPE_RGB24}, {32, &WMMEDIASUBTYPE_RGB32}};
    for (auto& c : cases) {
        Library fresh;
        WmMediaWriter writer(fresh.Binding());
        ASSERT_TRUE(writer.Init(8, 6, 5, L"C:\\a.wmv"));
        ASSERT_TRUE(writer.Begin(8, 6, c.bpp)) << c.bpp;
        EXPECT_EQ(fresh.VideoInputType().sub, *c.sub) << c.bpp;
    }
}

// BeginWriting's failures are logged by name, then the step; the writer is
// released.
TEST_F(WriterTest, BeginWritingFailuresAreLoggedByName)
{
    AppLogFile log("CorviskWriterBeginTest");
    struct {
        HRESULT hr;
        const char* name;
    } cases[] = {{NS_E_INVALID_OUTPUT_FORMAT, "NS_E_INVALID_OUTPUT_FORMAT"},
                 {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
                 {E_UNEXPECTED, "E_UNEXPECTED"},
                 {NS_E_AUDIO_CODEC_NOT_INSTALLED, "NS_E_AUDIO_CODEC_NOT_INSTALLED"},
                 {NS_E_VIDEO_CODEC_NOT_INSTALLED, "NS_E_VIDEO_CODEC_NOT_INSTALLED"},
                 {NS_E_AUDIO_CODEC_ERROR, "NS_E_AUDIO_CODEC_ERROR"},
                 {NS_E_VIDEO_CODEC_ERROR, "NS_E_VIDEO_CODEC_ERROR"},
                 {static_cast<HRESULT>(0x80070005), "unknown error"}};
    for (auto& c : cases) {
        Library fresh;
        WmMediaWriter writer(fresh.Binding());
        ASSERT_TRUE(writer.Init(8, 6, 5, L"C:\\a.wmv"));
        fresh.FailAt("BeginWriting", c.hr);
        EXPECT_FALSE(writer.Begin(8, 6, 32));
        EXPECT_EQ(writer.ErrorText(), "Unable to Initialize Writing");
        EXPECT_EQ(writer.ErrorCode(), c.hr);
        EXPECT_TRUE(log.Contains(std::string(c.name) + "\n")) << c.name;
        EXPECT_EQ(fresh.LiveObjects(), 0) << c.name;
    }
    struct {
        const char* step;
        const char* text;
    } steps[] = {{"GetInputProps", "Unable to GetInput Properties"},
                 {"InputProps SetMediaType", "Unable to Set Media Type"},
                 {"SetInputProps", "Unable to Set Input Properties for Media Writer"}};
    for (auto& s : steps) {
        Library fresh;
        WmMediaWriter writer(fresh.Binding());
        ASSERT_TRUE(writer.Init(8, 6, 5, L"C:\\a.wmv"));
        fresh.FailAt(s.step, E_FAIL);
        EXPECT_FALSE(writer.Begin(8, 6, 32));
        EXPECT_EQ(writer.ErrorText(), s.text);
        EXPECT_EQ(fresh.LiveObjects(), 0) << s.step;
    }
}

// A late write is logged and the recording goes on; every other failure is
// logged by name and ends it with "Unable to Write Frame".
TEST_F(WriterTest, WriteResults)
{
    AppLogFile log("CorviskWriterWriteTest");
    auto fill = [](uint8_t*, uint32_t) { return true; };
    struct {
        HRESULT hr;
        const char* logged;
        WmMediaWriter::Written result;
    } cases[] = {
        {NS_E_LATE_OPERATION, "NS_LATE_OPERATION\n", WmMediaWriter::Written::Late},
        {E_INVALIDARG, "E_INVALIDARG\n", WmMediaWriter::Written::Failed},
        {E_UNEXPECTED, "E_UNEXPECTED\n", WmMediaWriter::Written::Failed},
        {NS_E_INVALID_DATA, "NS_E_INVALID_DATA\n", WmMediaWriter::Written::Failed},
        {NS_E_TOO_MUCH_DATA, "NS_E_TOO_MUCH_DATA\n", WmMediaWriter::Written::Failed},
        {NS_E_INVALID_NUM_PASSES, "NS_E_INVALID_NUM_PASSES\n", WmMediaWriter::Written::Failed},
        {static_cast<HRESULT>(0x80070070), "unknown error\n", WmMediaWriter::Written::Failed},
    };
    for (auto& c : cases) {
        Library fresh;
        WmMediaWriter writer(fresh.Binding());
        ASSERT_TRUE(writer.Init(8, 6, 5, L"C:\\a.wmv"));
        ASSERT_TRUE(writer.Begin(8, 6, 32));
        fresh.ScriptVideoWrites({c.hr});
        EXPECT_EQ(writer.WriteFrame(8 * 6 * 4, 0, false, fill), c.result) << c.logged;
        EXPECT_TRUE(log.Contains(c.logged)) << c.logged;
        if (c.result == WmMediaWriter::Written::Failed) {
            EXPECT_EQ(writer.ErrorText(), "Unable to Write Frame");
            EXPECT_EQ(writer.ErrorCode(), c.hr);
            EXPECT_TRUE(fresh.Called("EndWriting"));
            EXPECT_EQ(fresh.LiveObjects(), 0);
        } else {
            EXPECT_EQ(writer.WriteFrame(8 * 6 * 4, 2000000, false, fill), WmMediaWriter::Written::Ok);
        }
    }
    // A late sound write has its own line and is no failure either.
    Library fresh;
    WmMediaWriter writer(fresh.Binding());
    ASSERT_TRUE(writer.Init(8, 6, 5, L"C:\\a.wmv"));
    ASSERT_TRUE(writer.Begin(8, 6, 32));
    fresh.FailAt("WriteSample", NS_E_LATE_OPERATION);
    const uint8_t sound[2] = {0, 0};
    EXPECT_EQ(writer.WriteSound(sound, 2, 0), WmMediaWriter::Written::Late);
    EXPECT_TRUE(log.Contains("writesamples returns 0xc00d002e\n"));
    EXPECT_EQ(writer.WriteFrame(8 * 6 * 4, 0, false, fill), WmMediaWriter::Written::Ok);
}

// A sample smaller than asked for is never written past its end.
TEST_F(WriterTest, FrameLargerThanItsSampleIsRefused)
{
    WmMediaWriter writer(library.Binding());
    ASSERT_TRUE(writer.Init(8, 6, 5, L"C:\\a.wmv"));
    ASSERT_TRUE(writer.Begin(8, 6, 32));
    uint32_t given = 0;
    auto fill = [&given](uint8_t*, uint32_t n) {
        given = n;
        return true;
    };
    EXPECT_EQ(writer.WriteFrame(192, 0, false, fill), WmMediaWriter::Written::Ok);
    EXPECT_EQ(given, 192u);
    EXPECT_TRUE(library.Called("AllocateSample 192"));
}

} // namespace
