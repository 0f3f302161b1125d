#include <gtest/gtest.h>

#include <cctype>

#include "run_process.h"

namespace {

ProcessOutput Years(std::vector<std::string> args, const std::vector<std::string>& env = {}) {
    args.insert(args.begin(), {DEVSIM_PATH, "years"});
    return RunProcess(args, env);
}

// The value of `key` in the summary line, which must be the last line.
std::string Summary(const ProcessOutput& r, const std::string& key) {
    const std::vector<std::string> lines = SplitLines(r.out);
    if (lines.empty() || lines.back().rfind("summary: ", 0) != 0) {
        ADD_FAILURE() << "no summary line: " << r.out << r.err;
        return {};
    }
    const std::string& s = lines.back();
    const size_t at = s.find(" " + key + "=");
    if (at == std::string::npos) {
        ADD_FAILURE() << key << " missing: " << s;
        return {};
    }
    const size_t from = at + key.size() + 2;
    return s.substr(from, s.find(' ', from) - from);
}

// 2007-12-31 -> 2009: every rollover the chip gets wrong, and nuv29's step.
TEST(DevsimYears, ShortSpanGivesExactlyTheExpectedFixes) {
    const ProcessOutput r = Years({"--from", "2007-01-01 00:00:00", "--to", "2009-12-31 12:00:00"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(SplitLines(r.out),
              (std::vector<std::string>{
                  "2007  Dec 31: chip year 40 (2014), nuv wrote 3a (2008) (wrong 50 ms)",
                  "2008  Feb 28: chip 03-01, nuv28 wrote 02-29 (wrong 50 ms);",
                  "      Feb 29: nuv29 wrote 03-01 at 23:59:59;",
                  "      Dec 31: chip year 40 (2014), nuv wrote 3b (2009) (wrong 50 ms)",
                  "          launches  writes  rollovers guarded",
                  "nuv              3       2                  2",
                  "nuv28            3       1                  3",
                  "nuv29            1       1                  1",
                  "longest wrong at one rollover: 50 ms; at the end the RTC is right, 900 ms "
                  "ahead",
                  "summary: years=3 launches=7 fixes=4 unguarded=0 worst_wrong_ms=50 "
                  "drift_ms=900 end=right"}));
}

// The whole default report reads within 80 columns; only the summary line,
// kept for scripts, may be wider.
TEST(DevsimYears, TheDefaultReportFitsEightyColumns) {
    const ProcessOutput r = Years({});
    const std::vector<std::string> lines = SplitLines(r.out);
    ASSERT_GT(lines.size(), 100U);
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        EXPECT_LE(lines[i].size(), 80U) << lines[i];
    }
    EXPECT_EQ(lines[lines.size() - 2],
              "longest wrong at one rollover: 50 ms; at the end the RTC is right, 55.3 s ahead");
}

TEST(DevsimYears, EachFixerDisabledLeavesItsRolloverUnguarded) {
    struct Case {
        const char* disabled;
        const char* year_line_start;  // the year and rollover that go wrong
        const char* fault;
    };
    const Case cases[] = {
        {"nuv29", "2008  Feb 28: chip 03-01, nuv28 wrote 02-29", "Feb 29: chip 02-30, unguarded"},
        {"nuv", "2007  Dec 31", "Dec 31: chip year 40 (2014), unguarded"},
        {"nuv28", "2008  Feb 28", "Feb 28: chip 03-01, unguarded"},
    };
    for (const Case& c : cases) {
        const ProcessOutput r = Years({"--from", "2007-01-01 00:00:00", "--to",
                                       "2008-12-01 00:00:00", "--disable", c.disabled});
        EXPECT_EQ(r.exit_code, 1) << c.disabled << r.err;
        EXPECT_EQ(Summary(r, "unguarded"), "1") << c.disabled;
        EXPECT_EQ(Summary(r, "end"), "wrong") << c.disabled;
        // The year's entry, its continuation lines with it.
        const size_t at = r.out.find(c.year_line_start);
        ASSERT_NE(at, std::string::npos) << c.disabled << ":\n" << r.out;
        const std::string entry = r.out.substr(at, r.out.find("\n2", at) - at);
        EXPECT_NE(entry.find(c.fault), std::string::npos) << entry;
    }
}

TEST(DevsimYears, OnACorrectClockNuv29sLastSecondIsTheOnlyWrite) {
    // 1996 to 2104: 28 years divisible by 4, less 2100.
    const ProcessOutput r = Years({"--hw", "correct", "--from", "1996-01-01 00:00:00", "--to",
                                   "2104-12-31 12:00:00"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(Summary(r, "fixes"), "27");
    EXPECT_EQ(Summary(r, "worst_wrong_ms"), "0");
    std::vector<std::string> lines;
    for (const std::string& line : SplitLines(r.out)) {
        if (std::isdigit(static_cast<unsigned char>(line[0])) != 0) {
            lines.push_back(line);  // the year lines
        }
    }
    ASSERT_EQ(lines.size(), 27U);
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].substr(4), "  Feb 29: nuv29 wrote 03-01 at 23:59:59") << lines[i];
        EXPECT_NE(lines[i].substr(0, 4), "2100");
    }
}

TEST(DevsimYears, WholeRangeOfTheYearRegisterStaysRight) {
    const ProcessOutput r = Years({"--quiet"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(SplitLines(r.out).size(), 1U);
    EXPECT_EQ(Summary(r, "years"), "256");
    EXPECT_EQ(Summary(r, "unguarded"), "0");
    EXPECT_EQ(Summary(r, "end"), "right");
    // nuv and nuv28 every year, nuv29 in the 62 leap years, and the start by hand.
    EXPECT_EQ(Summary(r, "launches"), "574");
}

// A program still running at --to is stopped there: nothing after it is
// simulated or reported, up to the last instant the year register holds.
TEST(DevsimYears, NothingAfterToIsSimulated) {
    for (const char* span : {"2008-12-01 00:00:00|2008-12-31 23:59:30",
                             "2205-06-01 00:00:00|2205-12-31 23:59:59.999"}) {
        const std::string s = span;
        const std::string from = s.substr(0, s.find('|'));
        const std::string to = s.substr(s.find('|') + 1);
        const ProcessOutput r = Years({"--from", from, "--to", to});
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(SplitLines(r.out).back(),
                  "summary: years=1 launches=2 fixes=0 unguarded=0 worst_wrong_ms=0 drift_ms=0 "
                  "end=right")
            << to;
        EXPECT_EQ(r.out.find("Dec 31"), std::string::npos) << r.out;
    }
}

TEST(DevsimYears, GuardsStopTheSimulation) {
    struct Case {
        const char* fake;
        const char* message;
    };
    const Case cases[] = {
        {"crash", "devsim: guard: nuv crashed: signal 6"},
        {"hang", "devsim: guard: nuv stopped at the limit"},
        {"violation", "devsim: guard: access violation"},
        {"relaunch", "devsim: guard: more than 10 launches within one minute"},
    };
    for (const Case& c : cases) {
        const ProcessOutput r =
            Years({"--from", "2008-01-01 00:00:00", "--to", "2009-01-01 00:00:00", "--disable",
                   "nuv28", "--disable", "nuv29"},
                  {std::string("DEVSIM_PROGRAM_DIR=") + FAKE_DIR + "/" + c.fake});
        EXPECT_EQ(r.exit_code, 3) << c.fake;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.fake << ": " << r.err;
    }
}

TEST(DevsimYears, BadArgumentsGiveOneLineAndExitTwo) {
    const std::vector<std::pair<std::vector<std::string>, const char*>> cases = {
        {{"--from", "1949-12-31 00:00:00"}, "1950 to 2205"},
        {{"--to", "2206-01-01 00:00:00"}, "1950 to 2205"},
        {{"--from", "2008-01-01 00:00:00", "--to", "2008-01-01 00:00:00"}, "must be after"},
        {{"--to", "2008-13-01 00:00:00"}, "not a valid date"},
        {{"--disable", "nuv30"}, "--disable takes nuv, nuv28 or nuv29"},
        {{"--launch-delay", "soon"}, "--launch-delay takes 0 to 600000 milliseconds, not 'soon'"},
        {{"--hw", "perfect"}, "--hw takes chip or correct"},
        {{"--from"}, "--from needs a value"},
        {{"--years"}, "unknown option '--years'"},
        {{"2008"}, "unexpected argument '2008'"},
    };
    for (const auto& [args, message] : cases) {
        const ProcessOutput r = Years(args);
        EXPECT_EQ(r.exit_code, 2) << message;
        EXPECT_EQ(SplitLines(r.err).size(), 1U) << r.err;
        EXPECT_LE(r.err.size(), 81U) << r.err;  // 80 columns and the line end
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    }
}

}  // namespace
