// test-labels: external
// Video files in and out of trellin render, with media the tests make with
// Debian's ffmpeg (test sources with a sine tone) and decode again with it:
// lossless video renders bit for bit as the same frames do as pictures, YUV
// is read as ffmpeg converts it at the same matrix and range, frames are
// found exactly, alpha and audio come through, and faults leave no file.
#include <gtest/gtest.h>

#include <sstream>

#include "support/trellin_cli_support.h"

namespace {

using namespace trellin_test;

class TrellinVideo : public TrellinTest {
protected:
    // Every frame of a video or picture sequence as 16-bit samples.
    std::string samples(const std::string& input, const std::string& layout = "rgb48le")
    {
        return ffmpeg("-i " + input + " -f rawvideo -pix_fmt " + layout + " -");
    }
    std::string frames_of(const std::string& pattern, int first, int count, const std::string& layout = "rgb48le")
    {
        return ffmpeg("-start_number " + std::to_string(first) + " -i " + pattern + " -frames:v " +
                      std::to_string(count) + " -f rawvideo -pix_fmt " + layout + " -");
    }

    // The packet hashes of a video's audio stream.
    std::string audio_packets(const std::string& file)
    {
        std::string hashes;
        std::istringstream lines(ffmpeg("-i " + file + " -map 0:a -c copy -f framemd5 -"));
        for (std::string line; std::getline(lines, line);)
            if (!line.empty() && line[0] != '#') hashes += line.substr(line.rfind(',') + 1) + "\n";
        return hashes;
    }

    RunResult render(std::vector<std::string> args)
    {
        args.insert(args.begin(), "render");
        args.push_back("-q");
        RunResult r = run(args, testkit::RunOptions().in(dir.string()));
        return r;
    }

    const std::string source =
        "-f lavfi -i testsrc2=size=48x32:rate=25:duration=0.48 "
        "-f lavfi -i sine=frequency=440:duration=0.48 ";
    const std::vector<std::string> keys{"--key", "Cell Angle@0=0", "--key", "Cell Angle@11=60"};
};

TEST_F(TrellinVideo, LosslessVideoRendersAsTheSameFramesDoAsPicturesWithItsAudioAndTimestamps)
{
    ffmpeg(source + "-c:v ffv1 -pix_fmt gbrp16le -c:a pcm_s16le -metadata title=Clip clip.mkv");
    ffmpeg("-i clip.mkv -pix_fmt rgb48be -start_number 0 in.%04d.png");
    std::vector<std::string> args{"clip.mkv", "glass.mkv"};
    args.insert(args.end(), keys.begin(), keys.end());
    ASSERT_EQ(render(args).code, 0);
    args = {"in.%04d.png", "glass.%04d.png", "--frames", "0-11"};
    args.insert(args.end(), keys.begin(), keys.end());
    ASSERT_EQ(render(args).code, 0);

    const std::string video = samples("glass.mkv"), pictures = frames_of("glass.%04d.png", 0, 12);
    EXPECT_EQ(video.size(), 12u * 48 * 32 * 6);
    EXPECT_TRUE(video == pictures) << "the video's frames differ from the pictures'";
    EXPECT_NE(video, samples("clip.mkv"));
    EXPECT_EQ(audio_packets("glass.mkv"), audio_packets("clip.mkv"));
    const std::string times = "-select_streams v -show_entries packet=pts_time -of csv=p=0 ";
    EXPECT_EQ(probe(times + "glass.mkv"), probe(times + "clip.mkv"));
    EXPECT_EQ(probe("-show_entries format_tags=title -of csv=p=0 glass.mkv"), "Clip\n");
    // An untagged video stays untagged.
    EXPECT_EQ(probe("-select_streams v -show_entries stream=pix_fmt,color_transfer -of csv=p=0 glass.mkv"),
              "gbrp16le,unknown\n");

    // The same frames again, into a picture sequence.
    ASSERT_EQ(render({"clip.mkv", "again.%04d.png", "--frames", "3-5", keys[0], keys[1], keys[2], keys[3]}).code, 0);
    EXPECT_EQ(frames_of("again.%04d.png", 3, 3), frames_of("glass.%04d.png", 3, 3));
}

TEST_F(TrellinVideo, YuvIsReadWithTheStreamsOwnMatrixAndRangeAsFfmpegConvertsIt)
{
    struct Case {
        const char *encode, *matrix, *range;
    };
    const Case cases[] = {
        {"-c:v libx264 -pix_fmt yuv420p -colorspace bt709 -color_range tv", "bt709", "tv"},
        {"-c:v libx264 -pix_fmt yuv444p -colorspace smpte170m -color_range pc", "bt601", "pc"},
        {"-c:v ffv1 -pix_fmt yuv422p10le -colorspace bt2020nc -color_range tv", "bt2020", "tv"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encode);
        ffmpeg(source + std::string(c.encode) + " -an clip.mkv");
        ffmpeg(std::string("-i clip.mkv -vf scale=in_color_matrix=") + c.matrix + ":in_range=" + c.range +
               ":flags=bicubic+accurate_rnd+full_chroma_int+bitexact,format=rgb48be -start_number 0 ref.%04d.png");
        ASSERT_EQ(render({"clip.mkv", "a.%04d.png", "--frames", "0-3", "--colorspace-in", "sRGB"}).code, 0);
        ASSERT_EQ(render({"ref.%04d.png", "b.%04d.png", "--frames", "0-3", "--colorspace-in", "sRGB"}).code, 0);
        EXPECT_TRUE(frames_of("a.%04d.png", 0, 4) == frames_of("b.%04d.png", 0, 4));
    }
}

TEST_F(TrellinVideo, FramesAreFoundExactlyAndARangePastTheEndIsRefused)
{
    ffmpeg("-f lavfi -i testsrc2=size=48x32:rate=25:duration=1.2 -c:v libx264 -g 10 -bf 2 -pix_fmt yuv420p clip.mp4");
    ASSERT_EQ(render({"clip.mp4", "all.%04d.png"}).code, 0);
    EXPECT_TRUE(fs::exists(dir / "all.0029.png"));
    EXPECT_FALSE(fs::exists(dir / "all.0030.png"));
    ASSERT_EQ(render({"clip.mp4", "part.%04d.png", "--frames", "13-16"}).code, 0);
    EXPECT_TRUE(frames_of("part.%04d.png", 13, 4) == frames_of("all.%04d.png", 13, 4));
    ASSERT_EQ(render({"clip.mp4", "step.%04d.png", "--frames", "21-29x4"}).code, 0);
    for (const char* n : {"0021", "0025", "0029"})
        EXPECT_TRUE(samples(std::string("step.") + n + ".png") == samples(std::string("all.") + n + ".png")) << n;
    ASSERT_EQ(render({"clip.mp4", "one.png", "--frames", "7"}).code, 0);
    EXPECT_TRUE(samples("one.png") == samples("all.0007.png"));

    const RunResult r = render({"clip.mp4", "late.mkv", "--frames", "28-30"});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("its last frame is 29"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "late.mkv"));
    // A video into one picture needs the frame.
    EXPECT_EQ(render({"clip.mp4", "which.png"}).code, 2);
}

TEST_F(TrellinVideo, ARangeCutFromAClipKeepsTheTimecodeOfItsFirstFrame)
{
    ffmpeg("-f lavfi -i testsrc2=size=48x32:rate=25:duration=2 -c:v ffv1 -timecode 10:00:00:00 clip.mov");
    const auto timecode = [this](const std::string& file) {
        return probe("-show_entries stream_tags=timecode -select_streams v:0 -of csv=p=0 " + file);
    };
    ASSERT_EQ(timecode("clip.mov"), "10:00:00:00\n");
    ASSERT_EQ(render({"clip.mov", "whole.mov"}).code, 0);
    EXPECT_EQ(timecode("whole.mov"), "10:00:00:00\n");
    ASSERT_EQ(render({"clip.mov", "cut.mov", "--frames", "37-40"}).code, 0);
    EXPECT_EQ(timecode("cut.mov"), "10:00:01:12\n");  // 37 frames at 25 a second
    // MXF holds it as the file's: DNxHR takes no picture smaller than its blocks.
    ffmpeg("-f lavfi -i testsrc2=size=256x144:rate=25:duration=1.2 -c:v ffv1 -timecode 10:00:00:00 wide.mov");
    ASSERT_EQ(render({"wide.mov", "cut.mxf", "--frames", "26-29"}).code, 0);
    EXPECT_NE(probe("-show_entries format_tags=timecode:stream_tags=timecode -of csv=p=0 cut.mxf").find("10:00:01:01"),
              std::string::npos);
}

// A variable frame rate is kept by timestamps: the gaps between frames are
// not taken for frames missing, and every frame keeps its time.
TEST_F(TrellinVideo, VariableFrameRateKeepsEveryFramesTime)
{
    ffmpeg(
        "-f lavfi -i testsrc2=size=48x32:rate=25:duration=0.48 "
        "-vf \"setpts='PTS+if(gte(N,6),0.1/TB,0)+if(gte(N,9),0.13/TB,0)'\" -fps_mode vfr "
        "-c:v ffv1 -pix_fmt gbrp16le vfr.mkv");
    const std::string times = "-select_streams v -show_entries packet=pts_time -of csv=p=0 ";
    ASSERT_EQ(probe(times + "vfr.mkv"),
              "0.000000\n0.040000\n0.080000\n0.120000\n0.160000\n0.200000\n0.320000\n0.360000\n0.400000\n"
              "0.560000\n0.600000\n0.640000\n");
    ASSERT_EQ(render({"vfr.mkv", "glass.mkv"}).code, 0);
    EXPECT_EQ(probe(times + "glass.mkv"), probe(times + "vfr.mkv"));
}

TEST_F(TrellinVideo, AlphaComesThroughProresAndFfv1)
{
    ffmpeg(
        "-f lavfi -i testsrc2=size=48x32:rate=25:duration=0.16 -vf "
        "format=rgba64le,geq=r='X*1300':g='Y*2000':b='30000':a='X*1300+Y*40' -c:v ffv1 -pix_fmt gbrap16le clip.mkv");
    ffmpeg("-i clip.mkv -pix_fmt rgba64be -start_number 0 in.%04d.png");
    ASSERT_EQ(render({"clip.mkv", "glass.mkv"}).code, 0);
    ASSERT_EQ(render({"clip.mkv", "glass.mov"}).code, 0);
    ASSERT_EQ(render({"in.%04d.png", "glass.%04d.png", "--frames", "0-3"}).code, 0);
    EXPECT_EQ(probe("-show_entries stream=pix_fmt -of csv=p=0 glass.mkv"), "gbrap16le\n");
    EXPECT_EQ(probe("-show_entries stream=codec_name,profile -of csv=p=0 glass.mov"), "prores,4444\n");
    const std::string pictures = frames_of("glass.%04d.png", 0, 4, "rgba64le");
    ASSERT_EQ(pictures.size(), 4u * 48 * 32 * 8);
    EXPECT_TRUE(samples("glass.mkv", "rgba64le") == pictures);
    auto alpha = [](const std::string& rgba) {
        std::vector<int> a;
        for (std::size_t i = 6; i + 1 < rgba.size(); i += 8)
            a.push_back((unsigned char)rgba[i] | ((unsigned char)rgba[i + 1] << 8));
        return a;
    };
    const std::vector<int> want = alpha(pictures), prores = alpha(samples("glass.mov", "rgba64le"));
    ASSERT_EQ(prores.size(), want.size());
    int worst = 0;
    for (std::size_t i = 0; i < want.size(); ++i) worst = std::max(worst, std::abs(prores[i] - want[i]));
    EXPECT_LE(worst, 256);  // ProRes keeps alpha at 16 bits, its decoder gives 12
    EXPECT_GT(*std::max_element(want.begin(), want.end()), 1000);
}

TEST_F(TrellinVideo, AudioTheContainerCannotHoldIsEncodedAgainWithANote)
{
    ffmpeg(source + "-c:v ffv1 -c:a pcm_s16le clip.mkv");
    // --skip-existing has no frames of a video to keep, and says so.
    const RunResult r = render({"clip.mkv", "glass.mp4", "--skip-existing"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("encoded again as aac"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("glass.mp4: --skip-existing keeps the frames of picture sequences"), std::string::npos)
        << r.err;
    EXPECT_EQ(probe("-show_entries stream=codec_name,pix_fmt -of csv=p=0 glass.mp4"), "h264,yuv420p\naac\n");
    EXPECT_EQ(probe("-count_frames -select_streams v -show_entries stream=nb_read_frames -of csv=p=0 glass.mp4"),
              "12\n");
    // Written in another space, and tagged with it (ProRes tags every frame as well).
    ASSERT_EQ(render({"clip.mkv", "glass.mov", "--colorspace-out", "Rec709"}).code, 0);
    EXPECT_EQ(probe("-select_streams v -show_entries stream=color_space,color_transfer,color_primaries,color_range "
                    "-of csv=p=0 glass.mov"),
              "tv,bt709,bt709,bt709\n");
}

TEST_F(TrellinVideo, DamagedInputsRefusedCodecsAndAFullDiskLeaveNoFile)
{
    ffmpeg("-f lavfi -i testsrc2=size=160x120:rate=25:duration=2 -c:v ffv1 -pix_fmt gbrp16le clip.mkv");
    const std::string whole = slurp(dir / "clip.mkv");
    spit(dir / "cut.mkv", whole.substr(0, whole.size() / 2));
    RunResult r = render({"cut.mkv", "out.mkv"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("cut.mkv: frame "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" could not be decoded"), std::string::npos) << r.err;

    spit(dir / "notes.mov", "not a video at all\n");
    EXPECT_EQ(render({"notes.mov", "out.mkv"}).code, 2);

    EXPECT_EQ(render({"clip.mkv", "out.mkv", "--codec", "nonesuch"}).code, 2);
    EXPECT_EQ(render({"clip.mkv", "out.mov", "--pix-fmt", "yuv420p"}).code, 2);

    spit(dir / "out.mkv", "precious");
    r = run({"render", "clip.mkv", "out.mkv", "-q"}, testkit::RunOptions().in(dir.string()).disk_full_after(64 * 1024));
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err.rfind("trellin: error: out.mkv: ", 0), 0u) << r.err;
    EXPECT_EQ(slurp(dir / "out.mkv"), "precious");
    EXPECT_EQ(stray_files({"clip.mkv", "cut.mkv", "notes.mov", "out.mkv"}), std::vector<std::string>{});
}

}  // namespace
