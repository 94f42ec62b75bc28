// --dry-run: the files named before a job are the files the job then writes.
#include <nlohmann/json.hpp>

#include "cli/cli_process.h"

namespace qf::test {
namespace {

using Json = nlohmann::json;
using DryRunTest = SampleDiscTest;

std::vector<std::string> paths(const Json& list, const char* key) {
    std::vector<std::string> out;
    for (const Json& f : list)
        out.push_back(key ? f[key].get<std::string>() : f.get<std::string>());
    return out;
}

TEST_F(DryRunTest, NamesWhatTheJobWritesAndWritesNothing) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"demux", part1, "-o", out},
             {"demux", part1, "-o", out, "--select", "v0,a1,s0", "--sub-format", "vobsub"},
             {"rebuild", part1, "-o", out}}) {
        SCOPED_TRACE(args[0] + " " + args.back());
        std::vector<std::string> dry = args;
        dry.insert(dry.end(), {"--dry-run", "--json"});
        const CliResult planned = runCli(dry);
        ASSERT_EQ(planned.status, 0) << planned.err;
        EXPECT_TRUE(outputs().empty()) << "a dry run writes nothing";
        const Json plan = Json::parse(planned.out);
        EXPECT_TRUE(plan["files"].empty());

        std::vector<std::string> wet = args;
        wet.push_back("--json");
        const CliResult written = runCli(wet);
        ASSERT_EQ(written.status, 0) << written.err;
        EXPECT_EQ(paths(plan["planned"], nullptr),
                  paths(Json::parse(written.out)["files"], "path"));
        for (const std::string& name : outputs()) std::remove(outFile(name).c_str());
    }
    const CliResult text = runCli({"demux", part1, "-o", out, "--dry-run"});
    EXPECT_NE(text.out.find("\nWould create " + out + "/FEATURE_1_FEATURE_2.VC-1.stream.0.vc1\n"),
              std::string::npos)
        << text.out;
}

} // namespace
} // namespace qf::test
