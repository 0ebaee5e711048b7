// trellin.so in the real frei0r hosts: Debian's ffmpeg and GStreamer run it
// on a small generated video, and every frame must equal, sample for sample,
// what `trellin render` makes of the same 8-bit frame with the same control
// values (its 16-bit output brought to 8 bits with to_8bit).
// test-labels: external
// test-links: trellin_frei0r_host
// test-builds: trellin_frei0r
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <regex>
#include <set>
#include <tuple>

#include <nlohmann/json.hpp>

#include "apps/common/core/sample_convert.h"
#include "node/control_table.h"
#include "support/trellin_cli_support.h"

namespace {

using namespace trellin_test;

using Frame = std::vector<std::uint8_t>;  // packed RGBA, rows top first

class Frei0rHosts : public TrellinTest {
protected:
    // Runs a shell command in the test's folder, the module on FREI0R_PATH;
    // fails the test unless it exits with 0.
    void sh(const std::string& command)
    {
        const RunResult r = testkit::run_program(
            {"sh", "-c", command},
            testkit::RunOptions().with_env({"FREI0R_PATH=" TRELLIN_LIB_DIR "/frei0r-1"}).in(dir.string()).within(120));
        ASSERT_EQ(r.code, 0) << command << "\n" << r.out << r.err;
    }

    // `count` frames of ffmpeg's test pattern with alpha that varies across, as raw RGBA in in.raw.
    std::vector<Frame> make_input(int w, int h, int count)
    {
        sh("ffmpeg -v error -y -f lavfi -i 'testsrc=size=" + std::to_string(w) + "x" + std::to_string(h) +
           ":rate=5,format=rgba,geq=r=r(X\\,Y):g=g(X\\,Y):b=b(X\\,Y):a=100+2*X' -frames:v " + std::to_string(count) +
           " -f rawvideo -pix_fmt rgba in.raw");
        return frames("in.raw", w, h);
    }

    std::vector<Frame> frames(const std::string& raw, int w, int h)
    {
        const std::string bytes = slurp(dir / raw);
        const std::size_t size = std::size_t(w) * h * 4;
        std::vector<Frame> out;
        for (std::size_t at = 0; at + size <= bytes.size(); at += size)
            out.emplace_back(bytes.begin() + long(at), bytes.begin() + long(at + size));
        EXPECT_EQ(bytes.size() % size, 0u) << raw;
        return out;
    }

    // What `trellin render` gives for the frame with these --set arguments.
    Frame trellin_render(const Frame& in, int w, int h, const std::vector<std::string>& sets,
                         const std::vector<std::string>& more = {})
    {
        write_file(dir / "frame.png", w, h, 4, OIIO::TypeDesc::UINT8, in);
        std::vector<std::string> args{"render", path("frame.png"), path("rendered.png")};
        for (const std::string& s : sets) args.insert(args.end(), {"--set", s});
        args.insert(args.end(), more.begin(), more.end());
        const RunResult r = run(args);
        EXPECT_EQ(r.code, 0) << r.err;
        const std::vector<std::uint16_t> samples = read_file(dir / "rendered.png").u16;
        Frame result(samples.size());
        for (std::size_t i = 0; i < samples.size(); ++i) result[i] = trellin_app::to_8bit(samples[i]);
        return result;
    }

    void ffmpeg(int w, int h, const std::string& filter)
    {
        sh("ffmpeg -v error -y -f rawvideo -pix_fmt rgba -s " + std::to_string(w) + "x" + std::to_string(h) +
           " -r 5 -i in.raw " + filter + " -f rawvideo -pix_fmt rgba out.raw");
    }

    // The frame melt renders of in.png (64 x 48) through a filter holding
    // `properties` (name, value), as out.png.
    FileImage melt_frame(const std::vector<std::pair<std::string, std::string>>& properties)
    {
        std::string text;
        for (const auto& [name, value] : properties)
            text += "      <property name=\"" + name + "\">" + value + "</property>\n";
        spit(dir / "project.mlt",
             "<mlt>\n"
             "  <profile width=\"64\" height=\"48\" frame_rate_num=\"25\" frame_rate_den=\"1\"\n"
             "           sample_aspect_num=\"1\" sample_aspect_den=\"1\" display_aspect_num=\"4\"\n"
             "           display_aspect_den=\"3\" progressive=\"1\"/>\n"
             "  <producer id=\"picture\" in=\"0\" out=\"0\">\n"
             "    <property name=\"resource\">in.png</property>\n"
             "    <filter>\n"
             "      <property name=\"mlt_service\">frei0r.trellin</property>\n" +
                 text +
                 "    </filter>\n"
                 "  </producer>\n"
                 "</mlt>\n");
        fs::remove(dir / "out.png");
        sh("melt -quiet project.mlt -consumer avformat:out.png vcodec=png pix_fmt=rgba frames=1 2>&1");
        return read_file(dir / "out.png");
    }
};

// A numeric parameter: the frei0r value and the setting it stands for (0..1
// across the control's range, whole-number controls rounded).
std::string numeric(const char* label, double unit)
{
    const vx::ControlRow& r = vx::control_table[vx::control_row(label)];
    double v = (1.0 - unit) * r.minimum + unit * r.maximum;
    if (r.step == 1.0) v = std::round(v);
    char value[40];
    std::snprintf(value, sizeof value, "%.17g", v);
    return std::string(label) + "=" + value;
}

// Every parameter, in the panel's order, set away from its default, in one
// instance; a second instance in the same graph keeps its own settings (only
// a real host running two filters at once shows that instances share no
// state).
TEST_F(Frei0rHosts, FfmpegFramesOfTwoInstancesInOneGraphEqualTrellinRender)
{
    // Debian's ffmpeg 5.1 hands its frei0r filter frames whose rows are padded
    // to its line alignment (64 bytes here) unless width * 4 is a multiple of
    // it, so the width is a multiple of 16; other widths go through GStreamer.
    const int w = 64, h = 43;
    const std::vector<Frame> input = make_input(w, h, 3);
    ASSERT_EQ(input.size(), 3u);
    // {frei0r value, label}: a number for that point of the control's range;
    // {frei0r value, "LABEL=VALUE"}: the setting it stands for.
    const std::pair<const char*, const char*> table[] = {{"Hexagon", "CellShape=Hexagon"},
                                                         {"0.05", "Cell Count X"},
                                                         {"0.04", "Cell Count Y"},
                                                         {"0.3", "CellSize"},
                                                         {"0.2", "CellCurve"},
                                                         {"0.45", "Tweak_X"},
                                                         {"0.55", "Tweak_Y"},
                                                         {"0.1", "Black Height"},
                                                         {"0.3", "White Height"},
                                                         {"0.1", "Index"},
                                                         {"Wrap", "Edge=Wrap"},
                                                         {"0.2", "Smoothing"},
                                                         {"0.05", "ChromaticAb"},
                                                         {"0.55", "Cell Angle"},
                                                         {"0.4", "Angle Centre_X"},
                                                         {"0.6", "Angle Centre_Y"},
                                                         {"y", "Light Active=on"},
                                                         {"0.6", "Brightness"},
                                                         {"0.45", "Light_X"},
                                                         {"0.55", "Light_Y"},
                                                         {"0.2", "LightZ"},
                                                         {"0.05", "Gloss"},
                                                         {"0.8", "Back Bright"},
                                                         {"n", "ShowMap=off"},
                                                         {"y", "Invert map=on"},
                                                         {"1/0.75/0.5", "Light=1,0.75,0.5,1"}};
    std::string params;
    std::vector<std::string> sets;
    for (const auto& [token, set] : table) {
        params.append(token).push_back('|');
        sets.push_back(std::string(set).find('=') != std::string::npos ? set : numeric(set, std::stod(token)));
    }
    params.pop_back();
    ffmpeg(w, h,
           "-filter_complex '[0]split[a][b];[a]frei0r=trellin:" + params +
               "[x];[b]frei0r=trellin:Octagon|0.1|0.1[y];[x][y]vstack'");
    // Each stacked frame is the first instance's frame followed by the second's.
    const std::vector<Frame> output = frames("out.raw", w, h);
    ASSERT_EQ(output.size(), 2 * input.size());
    const std::vector<std::string> octagon = {"CellShape=Octagon", numeric("Cell Count X", 0.1),
                                              numeric("Cell Count Y", 0.1)};
    for (std::size_t k = 0; k < input.size(); ++k) {
        const Frame expected = trellin_render(input[k], w, h, sets);
        EXPECT_NE(expected, input[k]);
        EXPECT_TRUE(output[2 * k] == expected) << "frame " << k;
        EXPECT_TRUE(output[2 * k + 1] == trellin_render(input[k], w, h, octagon)) << "frame " << k;
    }
}

// GStreamer copies each parameter's reported default back into every new
// instance, and hands over rows packed at any width.
TEST_F(Frei0rHosts, GStreamerPipelineAtAnOddWidth)
{
    const int w = 67, h = 43;
    const std::vector<Frame> input = make_input(w, h, 2);
    sh("gst-launch-1.0 -q filesrc location=in.raw ! rawvideoparse width=" + std::to_string(w) +
       " height=" + std::to_string(h) +
       " format=rgba framerate=5/1 ! frei0r-filter-trellin cellshape=Pentagon index=0.2 edge=Black"
       " light-active=true light-r=0.5 ! filesink location=out.raw");
    const std::vector<Frame> output = frames("out.raw", w, h);
    ASSERT_EQ(output.size(), input.size());
    const std::vector<std::string> sets = {"CellShape=Pentagon", numeric("Index", 0.2), "Edge=Black", "Light Active=on",
                                           "Light=0.5,1,1,1"};
    for (std::size_t k = 0; k < input.size(); ++k)
        EXPECT_TRUE(output[k] == trellin_render(input[k], w, h, sets)) << "frame " << k;
}

}  // namespace

namespace {

// The <parameter> elements of a Kdenlive effect description, name -> attributes, and the
// <paramlistdisplay> of each (empty when it has none).
struct KdenliveParameter {
    std::map<std::string, std::string> attributes;
    std::vector<std::string> shown_items;
    const std::string& at(const std::string& key) const { return attributes.at(key); }
};

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    for (const char ch : text + separator) {
        if (ch == separator) {
            parts.push_back(part);
            part.clear();
        } else {
            part += ch;
        }
    }
    return parts;
}

std::map<std::string, KdenliveParameter> kdenlive_parameters(const std::string& xml)
{
    std::map<std::string, KdenliveParameter> out;
    const std::regex element(R"(<parameter ([^>]*)>([\s\S]*?)</parameter>)"), attribute(R"re(([a-z]+)="([^"]*)")re"),
        display(R"(<paramlistdisplay>([^<]*)</paramlistdisplay>)");
    for (std::sregex_iterator e(xml.begin(), xml.end(), element), end; e != end; ++e) {
        KdenliveParameter p;
        const std::string text = (*e)[1], body = (*e)[2];
        for (std::sregex_iterator a(text.begin(), text.end(), attribute); a != end; ++a)
            p.attributes[(*a)[1]] = (*a)[2];
        if (std::smatch m; std::regex_search(body, m, display)) p.shown_items = split(m[1], ',');
        out[p.attributes["name"]] = p;
    }
    return out;
}

// The filter's value for a value `shown` in Kdenlive's panel, as Kdenlive hands it over: a list's
// entry shown so, or the number shown divided by the factor (Kdenlive has no offset).
std::string kdenlive_value(const KdenliveParameter& p, const std::string& shown)
{
    if (p.at("type") == "list") {
        const std::vector<std::string> values = split(p.at("paramlist"), ';');
        const auto& items = p.shown_items.empty() ? values : p.shown_items;
        const auto at = std::find(items.begin(), items.end(), shown);
        EXPECT_NE(at, items.end()) << p.at("name") << " shows no " << shown;
        return at == items.end() ? "" : values[std::size_t(at - items.begin())];
    }
    if (p.at("type") != "constant") return shown;
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", std::stod(shown) / std::stod(p.at("factor")));
    return text;
}

// The largest difference of a colour sample between a rendered 8- or 16-bit
// picture and an 8-bit RGBA frame.
int worst_difference(const FileImage& out, const Frame& expected)
{
    int worst = 0;
    const std::size_t pixels = expected.size() / 4, n = std::size_t(out.spec.nchannels);
    for (std::size_t i = 0; i < pixels; ++i)
        for (std::size_t c = 0; c < 3; ++c)
            worst = std::max(worst, std::abs(int(out.u16[i * n + c] >> 8) - int(expected[i * 4 + c])));
    return worst;
}

// A test picture, RGB in in.png and as the RGBA frame trellin renders from.
Frame opaque_test_picture(const fs::path& dir, int w, int h)
{
    std::vector<std::uint8_t> rgb(std::size_t(w) * h * 3);
    for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = std::uint8_t((i * 37 + i / 192 * 11) % 251);
    write_file(dir / "in.png", w, h, 3, OIIO::TypeDesc::UINT8, rgb);
    Frame rgba(std::size_t(w) * h * 4);
    for (std::size_t i = 0; i < std::size_t(w) * h; ++i) {
        for (int c = 0; c < 3; ++c) rgba[i * 4 + c] = rgb[i * 3 + c];
        rgba[i * 4 + 3] = 255;
    }
    return rgba;
}

// Whether Kdenlive's panel can show the filter value `value` of `p`: a number that, times the
// factor, lies within the range shown; a list's entry; a switch's 0 or 1.
bool panel_shows(const KdenliveParameter& p, const std::string& value)
{
    const std::string& type = p.at("type");
    if (type == "constant") {
        const double shown = std::stod(value) * std::stod(p.at("factor"));
        return shown >= std::stod(p.at("min")) - 1e-9 && shown <= std::stod(p.at("max")) + 1e-9;
    }
    if (type == "list") {
        const std::vector<std::string> listed = split(p.at("paramlist"), ';');
        return std::find(listed.begin(), listed.end(), value) != listed.end();
    }
    return type != "bool" || value == "0" || value == "1";
}

fs::path kdenlive_share()
{
    return fs::path(TRELLIN_LIB_DIR).parent_path() / "share" / "kdenlive" / "effects";
}

}  // namespace

// The Kdenlive effect description has the shape of Kdenlive's own frei0r effect files (their
// elements and attributes only; no offset, which Kdenlive does not apply), names every control,
// keeps every default within what its control shows, and an MLT project written as Kdenlive
// writes it with the defaults renders with melt as trellin render renders the defaults. The
// values shown in the panel are the Kdenlive render test's.
TEST_F(Frei0rHosts, KdenliveDescriptionHasKdenlivesShapeAndItsDefaultsRenderAsTrellinRender)
{
    const std::string xml = slurp(kdenlive_share() / "frei0r_trellin.xml");
    ASSERT_EQ(xml.rfind("<?xml version=\"1.0\"?>\n<!DOCTYPE kpartgui>\n<effect tag=\"frei0r.trellin\" "
                        "id=\"frei0r.trellin\">\n",
                        0),
              0u)
        << xml;
    for (const char* element : {"<name>", "<description>", "<author>"})
        EXPECT_NE(xml.find(element), std::string::npos) << element;
    const auto params = kdenlive_parameters(xml);
    // The attributes Kdenlive's own frei0r files give the parameter types used here.
    const std::set<std::string> known = {"type",   "name",      "default", "min",     "max",
                                         "factor", "paramlist", "suffix",  "decimals"};
    for (const auto& [name, p] : params) {
        for (const auto& [key, value] : p.attributes) EXPECT_TRUE(known.count(key)) << name << ": " << key;
        const std::string type = p.at("type");
        ASSERT_TRUE(type == "constant" || type == "list" || type == "bool" || type == "color") << name;
        EXPECT_TRUE(panel_shows(p, p.at("default"))) << name;
        if (type == "list") {
            const std::vector<std::string> values = split(p.at("paramlist"), ';');
            EXPECT_EQ(p.shown_items.size(), values.size()) << name;
            // Kdenlive hands a number to MLT as a number and selects the entry whose text is what
            // MLT gives back, printf's %g.
            for (const std::string& value : values) {
                char text[32];
                if (std::isdigit(static_cast<unsigned char>(value[0])))
                    std::snprintf(text, sizeof text, "%g", std::stod(value));
                else
                    std::snprintf(text, sizeof text, "%s", value.c_str());
                EXPECT_EQ(value, text) << name;
            }
        }
    }
    for (const vx::ControlRow& row : vx::control_table) {
        if (row.kind == ControlKind::label) continue;
        const std::string name = std::string(row.label).substr(0, std::string(row.label).find(':'));
        ASSERT_EQ(params.count(name), 1u) << name;
    }
    // Controls from 0 in their own units; from another minimum a list of whole numbers, or
    // their place in their range.
    EXPECT_EQ(params.at("Black Height").at("factor"), "100");
    EXPECT_EQ(params.at("Cell Count X").at("type"), "list");
    EXPECT_EQ(params.at("Cell Count X").shown_items.front(), "1");
    EXPECT_EQ(params.at("Index").at("suffix"), "%");

    // Kdenlive writes every parameter's default into the filter as it is.
    const int w = 64, h = 48;
    const Frame rgba = opaque_test_picture(dir, w, h);
    std::vector<std::pair<std::string, std::string>> defaults;
    for (const auto& [name, p] : params) defaults.emplace_back(name, p.at("default"));
    const FileImage out = melt_frame(defaults);
    ASSERT_EQ(out.spec.width, w);
    EXPECT_EQ(worst_difference(out, trellin_render(rgba, w, h, {})), 0);
}

// Kdenlive's own render path: a project saved as Kdenlive 22.12 saves one (a picture clip on a
// video track over its black track, the effect on the clip with every parameter written, some
// picked in the panel from minimums other than 0) and the playlist its render dialog makes of
// it (the project with a consumer) renders through kdenlive_render, headless, to PNG frames
// equal to what trellin render makes of the values shown (in Kdenlive's units: Index 3.25 is
// 25 % of 1..10, Cell Angle 180 is 75 % of -360..360).
TEST_F(Frei0rHosts, KdenliveRenderRendersAProjectAsTrellinRender)
{
    const auto params = kdenlive_parameters(slurp(kdenlive_share() / "frei0r_trellin.xml"));
    const int w = 64, h = 48;
    const Frame rgba = opaque_test_picture(dir, w, h);
    // {parameter, as shown in Kdenlive, as a trellin setting}
    const std::vector<std::tuple<std::string, std::string, std::string>> shown = {{"CellShape", "Pentagon", "Pentagon"},
                                                                                  {"Cell Count X", "7", "7"},
                                                                                  {"Cell Count Y", "5", "5"},
                                                                                  {"Cell Angle", "75", "180"},
                                                                                  {"Index", "25", "3.25"},
                                                                                  {"Light Active", "1", "on"},
                                                                                  {"Brightness", "150", "150"},
                                                                                  {"Light_X", "52.5", "0.25"},
                                                                                  {"Light_Y", "40", "-1"},
                                                                                  {"Gloss", "0", "1"},
                                                                                  {"Black Height", "10", "10"}};
    std::map<std::string, std::string> values;
    for (const auto& [name, p] : params) values[name] = p.at("default");
    std::vector<std::string> sets;
    for (const auto& [name, in_kdenlive, value] : shown) {
        ASSERT_EQ(params.count(name), 1u) << name;
        values[name] = kdenlive_value(params.at(name), in_kdenlive);
        sets.push_back(name + "=" + value);
    }
    std::string filter;
    for (const auto& [name, value] : values) filter += "    <property name=\"" + name + "\">" + value + "</property>\n";
    const std::string clip =
        "  <property name=\"length\">2</property>\n"
        "  <property name=\"eof\">pause</property>\n"
        "  <property name=\"resource\">" +
        path("in.png") +
        "</property>\n"
        "  <property name=\"ttl\">25</property>\n"
        "  <property name=\"aspect_ratio\">1</property>\n"
        "  <property name=\"mlt_service\">qimage</property>\n"
        "  <property name=\"kdenlive:id\">2</property>\n"
        "  <property name=\"kdenlive:clip_type\">5</property>\n";
    const std::string profile =
        "<profile frame_rate_num=\"25\" sample_aspect_num=\"1\" display_aspect_den=\"3\" colorspace=\"709\""
        " progressive=\"1\" description=\"64x48 25fps\" display_aspect_num=\"4\" frame_rate_den=\"1\""
        " width=\"64\" height=\"48\" sample_aspect_den=\"1\"/>\n";
    const std::string body = "<producer id=\"producer0\" in=\"00:00:00.000\" out=\"00:00:00.040\">\n" + clip +
                             "</producer>\n"
                             "<playlist id=\"main_bin\">\n"
                             "  <property name=\"kdenlive:docproperties.version\">1.04</property>\n"
                             "  <property name=\"kdenlive:docproperties.kdenliveversion\">22.12.3</property>\n"
                             "  <property name=\"xml_retain\">1</property>\n"
                             "  <entry producer=\"producer0\" in=\"00:00:00.000\" out=\"00:00:00.040\"/>\n"
                             "</playlist>\n"
                             "<producer id=\"black_track\" in=\"00:00:00.000\" out=\"00:00:00.040\">\n"
                             "  <property name=\"length\">2147483647</property>\n"
                             "  <property name=\"eof\">continue</property>\n"
                             "  <property name=\"resource\">black</property>\n"
                             "  <property name=\"aspect_ratio\">1</property>\n"
                             "  <property name=\"mlt_service\">color</property>\n"
                             "  <property name=\"kdenlive:playlistid\">black_track</property>\n"
                             "  <property name=\"mlt_image_format\">rgba</property>\n"
                             "  <property name=\"set.test_audio\">0</property>\n"
                             "</producer>\n"
                             "<producer id=\"producer1\" in=\"00:00:00.000\" out=\"00:00:00.040\">\n" +
                             clip +
                             "</producer>\n"
                             "<playlist id=\"playlist0\">\n"
                             "  <property name=\"kdenlive:audio_track\">0</property>\n"
                             "  <entry producer=\"producer1\" in=\"00:00:00.000\" out=\"00:00:00.040\">\n"
                             "   <property name=\"kdenlive:id\">2</property>\n"
                             "   <filter id=\"filter0\">\n"
                             "    <property name=\"mlt_service\">frei0r.trellin</property>\n"
                             "    <property name=\"kdenlive_id\">frei0r.trellin</property>\n" +
                             filter +
                             "    <property name=\"kdenlive:collapsed\">0</property>\n"
                             "   </filter>\n"
                             "  </entry>\n"
                             "</playlist>\n"
                             "<playlist id=\"playlist1\"/>\n"
                             "<tractor id=\"tractor0\" in=\"00:00:00.000\" out=\"00:00:00.040\">\n"
                             "  <property name=\"kdenlive:trackheight\">67</property>\n"
                             "  <property name=\"kdenlive:timeline_active\">1</property>\n"
                             "  <track hide=\"audio\" producer=\"playlist0\"/>\n"
                             "  <track hide=\"audio\" producer=\"playlist1\"/>\n"
                             "</tractor>\n"
                             "<tractor id=\"tractor1\" global_feed=\"1\" in=\"00:00:00.000\" out=\"00:00:00.040\">\n"
                             "  <track producer=\"black_track\"/>\n"
                             "  <track producer=\"tractor0\"/>\n"
                             "  <transition id=\"transition0\">\n"
                             "   <property name=\"a_track\">0</property>\n"
                             "   <property name=\"b_track\">1</property>\n"
                             "   <property name=\"compositing\">0</property>\n"
                             "   <property name=\"distort\">0</property>\n"
                             "   <property name=\"rotate\">0</property>\n"
                             "   <property name=\"mlt_service\">qtblend</property>\n"
                             "   <property name=\"kdenlive_id\">qtblend</property>\n"
                             "   <property name=\"internal_added\">237</property>\n"
                             "   <property name=\"always_active\">1</property>\n"
                             "  </transition>\n"
                             "</tractor>\n"
                             "</mlt>\n";
    const std::string head =
        "<?xml version='1.0' encoding='utf-8'?>\n<mlt LC_NUMERIC=\"C\" producer=\"main_bin\""
        " version=\"7.12.0\" root=\"" +
        dir.string() + "\">\n" + profile;
    spit(dir / "project.kdenlive", head + body);
    // The render dialog's playlist: the project with the consumer its PNG sequence preset sets.
    spit(dir / "render.mlt", head + "<consumer mlt_service=\"avformat\" target=\"" + path("out_%05d.png") +
                                 "\" f=\"image2\" vcodec=\"png\" pix_fmt=\"rgba\" in=\"0\" out=\"1\""
                                 " real_time=\"-1\"/>\n" +
                                 body);
    // kdenlive_render MELT PLAYLIST TARGET runs melt on the playlist and then removes it. Off any
    // session bus, it reports progress to no job tracker of the desktop's.
    sh("env -u DBUS_SESSION_BUS_ADDRESS QT_QPA_PLATFORM=offscreen kdenlive_render /usr/bin/melt " + path("render.mlt") +
       " " + path("out_%05d.png") + " 2>&1");
    EXPECT_FALSE(fs::exists(dir / "render.mlt"));
    const Frame expected = trellin_render(rgba, w, h, sets);
    ASSERT_NE(expected, rgba);
    for (const char* frame : {"out_00001.png", "out_00002.png"}) {
        ASSERT_TRUE(fs::exists(dir / frame)) << frame;
        const FileImage out = read_file(dir / frame);
        ASSERT_EQ(out.spec.width, w) << frame;
        EXPECT_EQ(worst_difference(out, expected), 0) << frame;
    }
    EXPECT_FALSE(fs::exists(dir / "out_00003.png"));
}

// The looks as Kdenlive presets of the effect: one per look, under its name, each holding every
// parameter at a value the panel can show; the filter given a preset's values (as Kdenlive hands
// them over when the preset is applied) renders as trellin render --look does.
TEST_F(Frei0rHosts, KdenlivePresetsRenderAsTheLooks)
{
    const auto params = kdenlive_parameters(slurp(kdenlive_share() / "frei0r_trellin.xml"));
    const nlohmann::json presets = nlohmann::json::parse(slurp(kdenlive_share() / "presets" / "frei0r.trellin.json"));
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> by_name;
    ASSERT_TRUE(presets.is_array());
    for (const nlohmann::json& preset : presets) {
        ASSERT_TRUE(preset.is_object() && preset.size() == 1u) << preset.dump();
        auto& values = by_name[preset.begin().key()];
        for (const nlohmann::json& v : preset.begin().value())
            values.emplace_back(v.at("name").get<std::string>(), v.at("value").get<std::string>());
    }
    std::set<std::string> looks;
    for (const auto& entry : fs::directory_iterator(fs::path(TRELLIN_BIN_DIR).parent_path() / "share/trellin/looks"))
        looks.insert(entry.path().stem().string());
    ASSERT_GE(looks.size(), 2u);
    std::set<std::string> named;
    for (const auto& [name, values] : by_name) named.insert(name);
    EXPECT_EQ(named, looks);

    const int w = 64, h = 48;
    const Frame rgba = opaque_test_picture(dir, w, h);
    for (const auto& [look, values] : by_name) {
        ASSERT_EQ(values.size(), params.size()) << look;
        for (const auto& [name, value] : values) {
            ASSERT_EQ(params.count(name), 1u) << look << ": " << name;
            EXPECT_TRUE(panel_shows(params.at(name), value)) << look << ": " << name << " " << value;
        }
        const FileImage out = melt_frame(values);
        ASSERT_EQ(out.spec.width, w) << look;
        EXPECT_EQ(worst_difference(out, trellin_render(rgba, w, h, {}, {"--look", look})), 0) << look;
    }
}
