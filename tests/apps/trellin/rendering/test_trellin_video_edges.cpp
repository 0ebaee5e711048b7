// test-labels: external
// Video files at their edges, with tiny media made by Debian's ffmpeg: a run
// stopped by a signal mid-write, streams that start after time 0, sound
// shorter than the picture in MXF, codecs and rotation a container cannot
// hold, animated pictures, untagged colour, and what a video run reports.
#include <gtest/gtest.h>

#include "support/trellin_cli_support.h"
#include "tests/apps/trellin/rendering/signal_while_writing.h"

namespace {

using namespace trellin_test;

class TrellinVideoEdges : public TrellinTest {
protected:
    std::string frames_of(const std::string& pattern, int first, int count)
    {
        return ffmpeg("-start_number " + std::to_string(first) + " -i " + pattern + " -frames:v " +
                      std::to_string(count) + " -f rawvideo -pix_fmt rgb48le -");
    }
    std::string video_frames(const std::string& file)
    {
        return probe("-count_frames -select_streams v -show_entries stream=nb_read_frames -of csv=p=0 " + file);
    }
    RunResult render(std::vector<std::string> args, bool quiet = true)
    {
        args.insert(args.begin(), "render");
        if (quiet) args.push_back("-q");
        return run(args, testkit::RunOptions().in(dir.string()));
    }
};

// A run ended by an interrupt, terminate or hang-up signal while it writes a
// video leaves neither the video nor its temporary file, as a sequence does.
TEST_F(TrellinVideoEdges, ASignalDuringAVideoWriteLeavesNoTemporaryFile)
{
    ffmpeg("-f lavfi -i testsrc2=size=160x120:rate=25:duration=4 -c:v libx264 -pix_fmt yuv420p clip.mp4");
    // Each signal once, and each container once.
    for (const auto& [signal_number, ext] : {std::pair{SIGINT, "mkv"}, {SIGTERM, "mov"}, {SIGHUP, "mp4"}}) {
        SCOPED_TRACE(std::to_string(signal_number) + " " + ext);
        const std::string out = std::string("out.") + ext;
        // SIGINT at its default disposition even where the test runs in the
        // background (a shell starts those with it ignored); env execs trellin.
        testkit::Process running({"env", "--default-signal=INT", trellin, "render", "-q", path("clip.mp4"), path(out)},
                                 testkit::RunOptions(), path("log.txt"));
        ASSERT_TRUE(signal_while_writing(running, dir, signal_number, 60))
            << "the run ended before its temporary file was seen";
        EXPECT_EQ(running.wait(30), -signal_number);
        EXPECT_EQ(stray_files({"clip.mp4", "log.txt"}), std::vector<std::string>{});
    }
}

// MPEG-TS and MPEG-PS streams start where the muxer's clock stood, and a
// Matroska file may start late: frames are numbered from the stream's own
// start, every one is read, and each is the frame ffmpeg decodes there.
TEST_F(TrellinVideoEdges, StreamsThatStartAfterTimeZeroAreReadFromTheirOwnStart)
{
    const std::string source = "-f lavfi -i testsrc2=size=48x32:rate=25:duration=0.4 ";
    const std::pair<std::string, std::string> cases[] = {
        {"-c:v mpeg2video", "a.ts"},
        {"-c:v libx264 -pix_fmt yuv420p -g 4", "b.ts"},
        {"-c:v mpeg2video -g 4", "c.mpg"},
        {"-c:v ffv1 -output_ts_offset 3", "e.mkv"},
    };
    for (const auto& [encode, file] : cases) {
        SCOPED_TRACE(file);
        fs::remove_all(dir / "a");
        fs::create_directories(dir / "a");
        ffmpeg(source + encode + " " + file);
        ffmpeg("-i " + file +
               " -vf scale=in_color_matrix=bt601:in_range=tv:flags=bicubic+accurate_rnd+full_chroma_int+bitexact,"
               "format=rgb48be -start_number 0 a/ref.%04d.png");
        RunResult r = render({file, "a/out.%04d.png", "--colorspace-in", "sRGB"});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_TRUE(fs::exists(dir / "a/out.0009.png"));
        EXPECT_FALSE(fs::exists(dir / "a/out.0010.png"));
        if (file == "e.mkv") continue;  // FFV1 is RGB here: no YUV reference to match
        ASSERT_EQ(render({"a/ref.%04d.png", "a/want.%04d.png", "--frames", "0-9", "--colorspace-in", "sRGB"}).code, 0);
        EXPECT_TRUE(frames_of("a/out.%04d.png", 0, 10) == frames_of("a/want.%04d.png", 0, 10));
        // A range from the middle finds the same frames.
        if (file == "a.ts") continue;
        ASSERT_EQ(render({file, "a/part.%04d.png", "--frames", "5-7", "--colorspace-in", "sRGB"}).code, 0);
        EXPECT_TRUE(frames_of("a/part.%04d.png", 5, 3) == frames_of("a/out.%04d.png", 5, 3));
    }
    ASSERT_EQ(render({"e.mkv", "e2.mkv"}).code, 0);
    EXPECT_EQ(video_frames("e2.mkv"), "10\n");
}

// FFmpeg's MXF writer ends the file with its shortest stream: sound shorter
// than the picture is made as long as it with silence, with a note, whether
// it is copied (PCM at 48 kHz) or encoded again (AAC, PCM at 44.1 kHz).
TEST_F(TrellinVideoEdges, MxfHoldsEveryFrameWhenTheSoundIsShorter)
{
    const std::string picture = "-f lavfi -i testsrc2=size=256x144:rate=25:duration=0.4 ";
    ffmpeg(picture + "-f lavfi -i sine=duration=0.2:sample_rate=48000 -c:v ffv1 -c:a pcm_s16le pcm.mov");
    ffmpeg(picture + "-f lavfi -i sine=duration=0.25:sample_rate=44100 -c:v ffv1 -c:a aac aac.mov");
    for (const std::string clip : {"pcm", "aac"}) {
        SCOPED_TRACE(clip);
        const RunResult r = render({clip + ".mov", clip + ".mxf"});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.err.find("s of silence"), std::string::npos) << r.err;
        EXPECT_EQ(video_frames(clip + ".mxf"), "10\n");
    }
    ASSERT_EQ(render({"pcm.mov", "cut.mxf", "--frames", "2-8"}).code, 0);
    EXPECT_EQ(video_frames("cut.mxf"), "7\n");
}

// The muxer itself is asked whether it takes the codec, before any frame is
// rendered: QuickTime lists VP9 among its codecs but writes it into MP4 only.
TEST_F(TrellinVideoEdges, ACodecTheContainerCannotHoldIsRefusedBeforeAnyWork)
{
    ffmpeg("-f lavfi -i testsrc2=size=48x32:rate=25:duration=0.12 -c:v ffv1 clip.mkv");
    for (const auto& [out, codec] : {std::pair{"x.mov", "libvpx-vp9"}, {"x.mov", "libaom-av1"}, {"x.mp4", "ffv1"}}) {
        SCOPED_TRACE(std::string(out) + " " + codec);
        const RunResult r = render({"clip.mkv", out, "--codec", codec});
        EXPECT_EQ(r.code, 2);
        EXPECT_NE(r.err.find("files cannot hold"), std::string::npos) << r.err;
        if (std::string(out) == "x.mov") {
            EXPECT_EQ(r.err.find("libvpx-vp9", r.err.find("they hold")), std::string::npos) << r.err;
        }
    }
    EXPECT_EQ(render({"clip.mkv", "y.mp4", "--codec", "libvpx-vp9"}).code, 0);
    // Raw video in a layout Matroska has no tag for: refused naming it, nothing left.
    const RunResult raw = render({"clip.mkv", "raw.mkv", "--codec", "rawvideo", "--pix-fmt", "yuv444p10le"});
    EXPECT_EQ(raw.code, 1);
    EXPECT_NE(raw.err.find("raw.mkv: matroska files cannot hold rawvideo video in yuv444p10le"), std::string::npos)
        << raw.err;
    EXPECT_EQ(stray_files({"clip.mkv", "y.mp4"}), std::vector<std::string>{});
    // A codec the container holds is written, also one that counts time its
    // own way (MPEG-2 in frames of its standard rates).
    const RunResult r = render({"clip.mkv", "m2.mp4", "--codec", "mpeg2video"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(video_frames("m2.mp4").substr(0, 1), "3");
}

// QuickTime and MP4 keep a rotation; Matroska and WebM cannot hold one and
// the run says so.
TEST_F(TrellinVideoEdges, RotationIsKeptOrNotedAsLeftOut)
{
    ffmpeg("-f lavfi -i testsrc2=size=48x32:rate=25:duration=0.12 -c:v libx264 -pix_fmt yuv420p flat.mp4");
    ffmpeg("-i flat.mp4 -c copy -metadata:s:v rotate=90 turned.mp4");
    const std::string rotation = "-select_streams v -show_entries stream_side_data=rotation -of csv=p=0 ";
    const std::string turned = probe(rotation + "turned.mp4");
    ASSERT_NE(turned.find("90"), std::string::npos);
    for (const std::string out : {"t.mov", "t.mp4"}) {
        const RunResult r = render({"turned.mp4", out});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.err.find("rotation"), std::string::npos) << r.err;
        EXPECT_EQ(probe(rotation + out), turned) << out;
    }
    for (const std::string out : {"t.mkv", "t.webm"}) {
        const RunResult r = render({"turned.mp4", out});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.err.find("its rotation (90 degrees) is left out"), std::string::npos) << out << ": " << r.err;
    }
    EXPECT_EQ(render({"flat.mp4", "f.mkv"}).err, "");
}

// An animated GIF or PNG is the video it is, in every command; a GIF of one
// frame stays a picture.
TEST_F(TrellinVideoEdges, AnAnimatedPictureIsReadAsAVideo)
{
    ffmpeg("-f lavfi -i testsrc2=size=48x32:rate=25:duration=0.2 anim.gif");
    ffmpeg("-f lavfi -i testsrc2=size=48x32:rate=25:duration=0.2 -plays 0 anim.apng");
    ffmpeg("-f lavfi -i testsrc2=size=48x32:rate=25 -frames:v 1 still.gif");
    for (const std::string in : {"anim.gif", "anim.apng"}) {
        SCOPED_TRACE(in);
        const RunResult r = render({in, in + ".mkv"});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(video_frames(in + ".mkv"), "5\n");
        const RunResult farm = run({"farm", "submit", path(in), path("f.%04d.png"), "--chunk", "2", "--dry-run"});
        EXPECT_EQ(farm.code, 0) << farm.err;
        EXPECT_NE(farm.out.find("frames 0-4"), std::string::npos) << farm.out;
    }
    ASSERT_EQ(render({"still.gif", "still.png"}).code, 0);
    EXPECT_EQ(run({"farm", "submit", path("still.gif"), path("f.%04d.png"), "--chunk", "2", "--dry-run"}).code, 2);
}

// A video that names no colour space stays untagged (players take it as
// BT.709); a tagged one keeps its tags; pictures keep the sRGB convention.
TEST_F(TrellinVideoEdges, UntaggedVideoStaysUntaggedAndPicturesStaySrgb)
{
    const std::string source = "-f lavfi -i testsrc2=size=256x144:rate=25:duration=0.08 ";
    ffmpeg(source + "-c:v prores_ks untagged.mov");
    ffmpeg(source + "-c:v libx264 -pix_fmt yuv420p -color_trc bt709 -color_primaries bt709 -colorspace bt709 hd.mp4");
    ffmpeg(source + "-pix_fmt rgb48be -start_number 0 still.%04d.png");
    const std::string tags = "-select_streams v -show_entries stream=color_transfer,color_primaries -of csv=p=0 ";
    for (const std::string ext : {"mov", "mkv", "webm", "mxf"}) {
        SCOPED_TRACE(ext);
        ASSERT_EQ(render({"untagged.mov", "plain." + ext}).code, 0);
        EXPECT_EQ(probe(tags + "plain." + ext), "unknown,unknown\n");
    }
    // Tags kept in every container: HdrAndWideGamutTagsAreKept.
    ASSERT_EQ(render({"hd.mp4", "hd.mkv"}).code, 0);
    EXPECT_EQ(probe(tags + "hd.mkv"), "bt709,bt709\n");
    ASSERT_EQ(render({"still.%04d.png", "still.mov", "--frames", "0-1"}).code, 0);
    EXPECT_EQ(probe(tags + "still.mov"), "iec61966-2-1,bt709\n");
}

// PQ, HLG and BT.2020 video keeps its tags in every container, read and
// written in those spaces (no config needed): no note of a space taken as
// another or of samples passed through, and no clipping of PQ's top code.
TEST_F(TrellinVideoEdges, HdrAndWideGamutTagsAreKept)
{
    const std::string tags = "-select_streams v -show_entries stream=color_transfer,color_primaries -of csv=p=0 ";
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"smpte2084", {"mov", "mkv", "mp4", "webm", "mxf"}},
        {"arib-std-b67", {"mov", "mkv", "mp4", "mxf"}},
        {"bt2020-10", {"mov", "mkv", "mp4"}},
    };
    for (const auto& [transfer, containers] : cases) {
        ffmpeg("-f lavfi -i testsrc2=size=256x144:rate=25:duration=0.08 -c:v ffv1 -pix_fmt yuv422p10le -color_trc " +
               transfer + " -color_primaries bt2020 -colorspace bt2020nc in.mkv");
        for (const std::string& ext : containers) {
            SCOPED_TRACE(transfer + " " + ext);
            const RunResult r = render({"in.mkv", "out." + ext}, false);
            ASSERT_EQ(r.code, 0) << r.err;
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(probe(tags + "out." + ext), transfer + ",bt2020\n");
        }
        fs::remove(dir / "in.mkv");
    }
}

// A video run says what it wrote, as a still's run does, unless -q.
TEST_F(TrellinVideoEdges, AVideoRunSaysWhatItWrote)
{
    ffmpeg(
        "-f lavfi -i testsrc2=size=48x32:rate=25:duration=0.2 -f lavfi -i sine=duration=0.2 "
        "-c:v ffv1 -c:a pcm_s16le clip.mkv");
    RunResult r = render({"clip.mkv", "out.mkv", "--frames", "0-2"}, false);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "wrote out.mkv: 3 frames, 0.12 s (video ffv1 48x32, audio pcm_s16le)\n");
    r = render({"clip.mkv", "out.%04d.png", "--frames", "1-2"}, false);
    EXPECT_EQ(r.out, "wrote 2 frames: out.0001.png to out.0002.png\n");
    EXPECT_EQ(render({"clip.mkv", "quiet.mkv"}).out, "");
}

}  // namespace
