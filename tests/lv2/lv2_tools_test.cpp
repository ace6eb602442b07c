// The bundle as LV2's own tools and offline hosts see it: the generated Turtle checked against
// the parameter table (what lv2_validate does not check), lv2_validate, lv2info, and renders by
// lv2apply, lv2file and ecasound (README.md's command, as it stands) compared with
// zerin-render's.

#include "../render/render_cli.h"
#include "audiounit/parameters.h"
#include "dsp/factory_curves.h"
#include "lv2/ports.h"
#include "lv2/uris.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace zerin::test {
namespace {

const std::string kBundle = ZERIN_LV2_BUNDLE;
const std::string kLv2Path =
    "LV2_PATH=" + fs::path(kBundle).parent_path().string() + ":/usr/lib/lv2 ";
constexpr const char* kLv2 = "http://lv2plug.in/ns/lv2core#";

struct Output {
    int status = -1;
    std::string text; // stdout and stderr together
};

Output run(const std::string& command) {
    Output out;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        out.text.append(buffer, n);
    out.status = pclose(pipe);
    return out;
}

bool haveTool(const char* tool) {
    return run(std::string("command -v ") + tool).status == 0;
}

#define REQUIRE_TOOL(tool)                                                                         \
    if (!haveTool(tool)) GTEST_SKIP() << tool << " is not installed (scripts/setup installs it)"

// A sanitized plug-in needs its sanitizer's runtime, which a plain host never loads.
#define REQUIRE_PLAIN_BUILD()                                                                      \
    if (ZERIN_SANITIZED) GTEST_SKIP() << "a sanitized plug-in does not load into a plain host"

// The triples of one Turtle file, through sordi: subject -> predicate -> objects.
struct Graph {
    std::map<std::string, std::multimap<std::string, std::string>> nodes;

    std::vector<std::string> all(const std::string& s, const std::string& p) const {
        std::vector<std::string> out;
        const auto node = nodes.find(s);
        if (node == nodes.end()) return out;
        auto [from, to] = node->second.equal_range(p);
        for (auto it = from; it != to; ++it)
            out.push_back(it->second);
        return out;
    }
    std::string one(const std::string& s, const std::string& p) const {
        const auto values = all(s, p);
        return values.size() == 1 ? values[0] : "";
    }
    // The items of an RDF list.
    std::vector<std::string> list(std::string head) const {
        const std::string rdf = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
        std::vector<std::string> items;
        while (!head.empty() && head != rdf + "nil" && items.size() < 1000) {
            items.push_back(one(head, rdf + "first"));
            head = one(head, rdf + "rest");
        }
        return items;
    }
};

// One N-Triples term: <uri> and _:blank as their names, "literal"^^<type> as its text.
std::string term(const std::string& line, std::size_t& at) {
    while (at < line.size() && line[at] == ' ')
        ++at;
    if (at >= line.size()) return "";
    if (line[at] == '<') {
        const std::size_t end = line.find('>', at);
        std::string uri = line.substr(at + 1, end - at - 1);
        at = end + 1;
        return uri;
    }
    if (line[at] == '"') {
        std::string text;
        for (++at; at < line.size() && line[at] != '"'; ++at) {
            if (line[at] == '\\') ++at;
            text += line[at];
        }
        ++at;
        while (at < line.size() && line[at] != ' ')
            ++at; // ^^<type> or @lang
        return text;
    }
    const std::size_t end = line.find(' ', at);
    std::string blank = line.substr(at, end - at);
    at = end;
    return blank;
}

Graph parse(const std::string& file) {
    Graph graph;
    const Output out = run("sordi -i turtle -o ntriples file://" + kBundle + "/" + file);
    EXPECT_EQ(out.status, 0) << out.text;
    std::istringstream lines(out.text);
    for (std::string line; std::getline(lines, line);) {
        std::size_t at = 0;
        const std::string s = term(line, at);
        const std::string p = term(line, at);
        const std::string o = term(line, at);
        graph.nodes[s].emplace(p, o);
    }
    return graph;
}

TEST(LV2Turtle, PortsAndPresetsMatchTheTables) {
    REQUIRE_TOOL("sordi");
    const Graph plugin = parse("zerin.ttl");
    for (const auto& [uri, layout] :
         {std::pair{lv2::kStereoUri, lv2::kStereoPorts}, {lv2::kMonoUri, lv2::kMonoPorts}}) {
        SCOPED_TRACE(uri);
        std::map<int, std::string> bySymbol;
        for (const std::string& port : plugin.all(uri, std::string(kLv2) + "port")) {
            const int index = std::stoi(plugin.one(port, std::string(kLv2) + "index"));
            const std::string symbol = plugin.one(port, std::string(kLv2) + "symbol");
            EXPECT_TRUE(bySymbol.emplace(index, symbol).second) << "index " << index << " twice";
            const std::string d = plugin.one(port, std::string(kLv2) + "default");
            if (d.empty()) continue;
            const float min = std::stof(plugin.one(port, std::string(kLv2) + "minimum"));
            const float max = std::stof(plugin.one(port, std::string(kLv2) + "maximum"));
            EXPECT_LE(min, std::stof(d)) << symbol;
            EXPECT_LE(std::stof(d), max) << symbol;
            if (const ParameterSpec* spec = parameterSpec(symbol)) {
                EXPECT_EQ(index, layout.controlPort(static_cast<int>(spec->address)));
                EXPECT_EQ(std::stof(d), spec->defaultValue) << symbol;
                EXPECT_EQ(min, spec->minValue) << symbol;
                EXPECT_EQ(max, spec->maxValue) << symbol;
                EXPECT_EQ(plugin.one(port, std::string(kLv2) + "name"), spec->name);
            }
        }
        ASSERT_EQ(static_cast<int>(bySymbol.size()), layout.count);
        EXPECT_EQ(bySymbol.begin()->first, 0);
        EXPECT_EQ(bySymbol.rbegin()->first, layout.count - 1); // so: contiguous
        for (const ParameterSpec* spec : allParameterSpecs())
            EXPECT_EQ(bySymbol[layout.controlPort(static_cast<int>(spec->address))],
                      spec->identifier);
    }

    const Graph presets = parse("presets.ttl");
    const std::string state = "http://lv2plug.in/ns/ext/state#state";
    for (const FactoryCurve& factory : kFactoryCurves) {
        std::string uri;
        for (const auto& [subject, properties] : presets.nodes)
            if (presets.one(subject, "http://www.w3.org/2000/01/rdf-schema#label") == factory.name)
                uri = subject;
        ASSERT_FALSE(uri.empty()) << factory.name;
        const std::string body = presets.one(uri, state);
        EXPECT_EQ(presets.one(body, lv2::kPresetNameUri), factory.name);
        const std::string vector = presets.one(body, lv2::kCurveUri);
        const auto values =
            presets.list(presets.one(vector, "http://www.w3.org/1999/02/22-rdf-syntax-ns#value"));
        ASSERT_EQ(values.size(), 2 * factory.points.size()) << factory.name;
        for (std::size_t i = 0; i < factory.points.size(); ++i) {
            EXPECT_EQ(std::stof(values[2 * i]), factory.points[i].freq);
            EXPECT_EQ(std::stof(values[2 * i + 1]), factory.points[i].value);
        }
        EXPECT_EQ(presets.all(uri, "http://lv2plug.in/ns/lv2core#appliesTo").size(), 2u);
    }
}

// Hosts file a plug-in under its maintainer and show its licence.
TEST(LV2Turtle, BothPluginsNameTheirMaintainerAndLicence) {
    REQUIRE_TOOL("sordi");
    const Graph plugin = parse("zerin.ttl");
    const std::string foaf = "http://xmlns.com/foaf/0.1/";
    for (const char* uri : {lv2::kStereoUri, lv2::kMonoUri}) {
        SCOPED_TRACE(uri);
        const std::string maintainer = plugin.one(uri, "http://usefulinc.com/ns/doap#maintainer");
        EXPECT_EQ(plugin.one(maintainer, foaf + "name"), "Zerin");
        EXPECT_EQ(plugin.one(maintainer, foaf + "homepage"), lv2::kHomepage);
        EXPECT_EQ(plugin.one(uri, "http://usefulinc.com/ns/doap#license"),
                  "https://spdx.org/licenses/GPL-3.0-or-later");
    }
}

TEST(LV2Tools, ValidateAndInfoFindNoError) {
    REQUIRE_TOOL("lv2_validate");
    REQUIRE_TOOL("lv2info");
    const Output validate = run("cd " + kBundle + " && lv2_validate *.ttl");
    EXPECT_NE(validate.text.find("\nFound 0 errors"), std::string::npos) << validate.text;
    for (const auto& [uri, layout] :
         {std::pair{lv2::kStereoUri, lv2::kStereoPorts}, {lv2::kMonoUri, lv2::kMonoPorts}}) {
        const Output info = run(kLv2Path + "lv2info " + uri);
        int ports = 0;
        for (std::size_t at = 0; (at = info.text.find("\n\tPort ", at)) != std::string::npos; ++at)
            ++ports;
        EXPECT_EQ(ports, layout.count) << info.text;
        EXPECT_EQ(info.text.find("error"), std::string::npos) << info.text;
        EXPECT_NE(info.text.find("Has latency:       yes"), std::string::npos);
    }
}

// Offline hosts against zerin-render: the same settings give the same samples.
struct Renders : RenderCli {
    void SetUp() override {
        RenderCli::SetUp();
        // Quiet enough that no host clips the result: lv2file limits to full scale.
        Audio in{48000.0, 2, std::vector<float>(2 * 30000)};
        std::mt19937 random(3);
        std::uniform_real_distribution<float> u(-0.05f, 0.05f);
        for (std::size_t i = 0; i < in.samples.size(); ++i)
            in.samples[i] = u(random) + 0.1f * std::sin(0.01f * static_cast<float>(i));
        writeAudio(dir / "in.wav", in);
    }
    // zerin-render with the latency kept and no tail: sample n of it is sample n of a host's.
    std::vector<float> reference(std::vector<std::string> options) {
        options.insert(options.begin(),
                       {"-q", "in.wav", "-o", "ref.wav", "--keep-latency", "--tail", "0"});
        const RunResult reference = render(options);
        EXPECT_EQ(reference.status, 0) << reference.err;
        std::vector<float> samples = readAudio(dir / "ref.wav").samples;
        samples.resize(2 * 30000);
        return samples;
    }
    // What `host` (and its options) writes, against zerin-render's render of `options`.
    void expectSameAs(const std::string& host, const std::vector<std::string>& options) {
        const Output out = run(kLv2Path + host + " -i " + (dir / "in.wav").string() + " -o " +
                               (dir / "out.wav").string() + " " + lv2::kStereoUri);
        ASSERT_EQ(out.status, 0) << out.text;
        EXPECT_EQ(readAudio(dir / "out.wav").samples, reference(options));
    }
};

TEST_F(Renders, Lv2applyMatchesZerinRender) {
    REQUIRE_PLAIN_BUILD();
    REQUIRE_TOOL("lv2apply");
    expectSameAs("lv2apply -c mode 2 -c feedback 60 -c dryWet 80",
                 words("--set mode=scatter --set feedback=60 --set dryWet=80"));
}

TEST_F(Renders, Lv2fileWithAFactoryPresetMatchesZerinRender) {
    REQUIRE_PLAIN_BUILD();
    REQUIRE_TOOL("lv2file");
    expectSameAs(
        "lv2file -P 'Granular Haze' -p inputGain:-3 -p sourceSensitivity:40",
        {"--preset", "Granular Haze", "--set", "inputGain=-3", "--set", "sourceSensitivity=40"});
}

// The control ports of a plug-in in the Turtle, in index order, as ecasound counts them.
struct ControlPort {
    int index = 0;
    std::string symbol;
    bool input = false;
};

std::vector<ControlPort> controlPorts(const Graph& plugin, const std::string& uri) {
    const std::string type = "http://www.w3.org/1999/02/22-rdf-syntax-ns#type";
    std::vector<ControlPort> ports;
    for (const std::string& port : plugin.all(uri, std::string(kLv2) + "port")) {
        const auto types = plugin.all(port, type);
        const auto is = [&](const char* t) {
            return std::find(types.begin(), types.end(), std::string(kLv2) + t) != types.end();
        };
        if (!is("ControlPort")) continue;
        ports.push_back({std::stoi(plugin.one(port, std::string(kLv2) + "index")),
                         plugin.one(port, std::string(kLv2) + "symbol"), is("InputPort")});
    }
    std::sort(ports.begin(), ports.end(),
              [](const ControlPort& a, const ControlPort& b) { return a.index < b.index; });
    return ports;
}

// The shell command of the fenced block that follows `marker` in README.md, continuation
// lines and all; empty when there is none.
std::string readmeBlockAfter(const std::string& marker) {
    const std::string readme = readText(ZERIN_README);
    const std::size_t at = readme.find(marker);
    if (at == std::string::npos) return "";
    const std::size_t open = readme.find("```sh\n", at);
    if (open == std::string::npos) return "";
    const std::size_t from = open + 6;
    const std::size_t close = readme.find("\n```", from);
    return close == std::string::npos ? "" : readme.substr(from, close - from);
}

// The plug-in URI and the control values of an `-elv2:URI,v1,v2,...` option.
std::pair<std::string, std::vector<std::string>> elv2Values(const std::string& command) {
    const std::size_t at = command.find("-elv2:");
    if (at == std::string::npos) return {};
    const auto rest = words(command.substr(at + 6));
    if (rest.empty()) return {};
    std::istringstream option(rest.front());
    std::vector<std::string> fields;
    for (std::string field; std::getline(option, field, ',');)
        fields.push_back(field);
    return {fields.front(), {fields.begin() + 1, fields.end()}};
}

// README.md prints an ecasound command; it is run here as it stands, in a folder holding the
// in.wav it names, so that the two cannot drift apart. ecasound sets every control it is not
// given to 0, not to its default (a missing curveScale is no delay at all), so the command
// must give every control port up to the last input, and it must render what
// zerin-render --keep-latency renders with the same settings.
TEST_F(Renders, EcasoundRunsTheReadmeCommandAsZerinRenderDoes) {
    REQUIRE_PLAIN_BUILD();
    REQUIRE_TOOL("ecasound");
    REQUIRE_TOOL("sordi");
    const std::string command =
        readmeBlockAfter("<!-- tests/lv2/lv2_tools_test.cpp runs the command below as it stands");
    ASSERT_NE(command.find("ecasound "), std::string::npos)
        << "no ecasound command after its marker in README.md's Hosts section";
    const auto [uri, values] = elv2Values(command);
    const std::vector<ControlPort> ports = controlPorts(parse("zerin.ttl"), uri);
    ASSERT_FALSE(ports.empty()) << "README.md's ecasound command names no known plug-in: " << uri;

    std::size_t needed = 0;
    for (std::size_t i = 0; i < ports.size(); ++i)
        if (ports[i].input) needed = i + 1;
    ASSERT_GT(needed, 0u);
    EXPECT_EQ(values.size(), needed)
        << "README.md's ecasound command gives " << values.size() << " control values, but " << uri
        << " has " << needed << " control ports up to its last input, " << ports[needed - 1].symbol
        << ": ecasound sets every control it is not given to 0, not to its default, so update "
           "the command (and the list of ports above it) in README.md's Hosts section to give "
           "them all, in port order, an output's place included";

    // The same settings for zerin-render; ecasound passes an output's value to no one.
    std::vector<std::string> options;
    for (std::size_t i = 0; i < std::min(values.size(), ports.size()); ++i) {
        const ControlPort& port = ports[i];
        if (!port.input) continue;
        if (port.symbol == "enabled") {
            EXPECT_EQ(std::stof(values[i]), 1.0f) << "README.md's ecasound command bypasses Zerin";
            continue;
        }
        ASSERT_NE(parameterSpec(port.symbol), nullptr) << port.symbol;
        options.insert(options.end(), {"--set", port.symbol + "=" + values[i]});
    }

    const Output out = run("cd '" + dir.string() + "' && export " + kLv2Path + "&& " + command);
    ASSERT_EQ(out.status, 0) << command << "\n" << out.text;
    auto rendered = readAudio(dir / "out.wav").samples;
    ASSERT_GE(rendered.size(), 2u * 30000) << out.text;
    rendered.resize(2 * 30000);
    const auto expected = reference(options);
    float worst = 0.0f;
    std::size_t worstAt = 0;
    for (std::size_t i = 0; i < expected.size(); ++i)
        if (std::fabs(rendered[i] - expected[i]) > worst) {
            worst = std::fabs(rendered[i] - expected[i]);
            worstAt = i / 2;
        }
    EXPECT_LE(worst, 1e-6f) << "README.md's ecasound command differs from zerin-render "
                               "--keep-latency with the same settings by "
                            << worst << " at sample " << worstAt;
}

} // namespace
} // namespace zerin::test
