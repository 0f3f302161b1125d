// What devsim years says about a span: a line per year with each day's
// events, the per-program counts and the closing lines.
#include <cstdio>
#include <iostream>
#include <sstream>

#include "account.h"
#include "owner_device.h"
#include "say.h"
#include "simulation.h"

namespace devsim {

void Simulation::ReportCounts() const {
    char line[96];
    std::snprintf(line, sizeof line, "%-8s %9s %7s %18s\n", "", "launches", "writes",
                  "rollovers guarded");
    std::cout << line;
    for (int p = 0; p < sim::kFixerCount; ++p) {
        std::snprintf(line, sizeof line, "%-8s %9llu %7llu %18llu\n", sim::kFixers[p].name,
                      static_cast<unsigned long long>(counts_[p].launches),
                      static_cast<unsigned long long>(counts_[p].writes),
                      static_cast<unsigned long long>(counts_[p].guarded));
        std::cout << line;
    }
}

// One line per year, its days after the year; a day that does not fit
// goes on a line of its own, under the first.
std::string Simulation::TakeReport() {
    constexpr size_t kIndent = 6;  // "1960  "
    std::map<int, std::string> years;
    for (const auto& [day, items] : rollovers_) {
        static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        const sim::DateTime t = sim::CivilFromDays(day);
        std::string part = std::string(kMonths[t.month - 1]) + " " + std::to_string(t.day) + ": ";
        for (size_t i = 0; i < items.size(); ++i) {
            part += (i == 0 ? "" : ", ") + items[i];
        }
        std::string& text = years[t.year];
        const size_t line_length = text.size() - (text.rfind('\n') + 1);
        if (text.empty()) {
            text = std::to_string(t.year) + "  " + part;
        } else if (line_length + 2 + part.size() <= kColumns) {
            text += "; " + part;
        } else {
            text += ";\n" + std::string(kIndent, ' ') + part;
        }
    }
    rollovers_.clear();
    std::string report;
    for (const auto& [year, text] : years) {
        report += Fitted(text, kIndent) + "\n";
    }
    return report;
}

// Reports the span, carried to its end by the caller; the exit status.
int Simulation::Finish(int from_year, int to_year, bool quiet) {
    if (wrong_) {
        worst_wrong_ms_ = std::max(worst_wrong_ms_, s_.to_ms - wrong_->since);
    }
    const sim::DateTime rtc = sim::FromSystemTime(sim::DeviceLocalTime(d_));
    const int64_t intended = sim::IntendedMs(d_, d_.os.clock_ms);
    const bool end_right = sim::IsRightAt(d_.chip.regs, intended);
    const int64_t drift = sim::IsValid(rtc) ? sim::ToMs(rtc) - intended : 0;

    if (!quiet) {
        std::cout << TakeReport();
        ReportCounts();
        std::cout << "longest wrong at one rollover: " << Duration(worst_wrong_ms_)
                  << "; at the end the RTC is " << (end_right ? "right, " : "wrong, ")
                  << (drift == 0 ? "on time"
                                 : Duration(drift) + (drift > 0 ? " ahead" : " behind"))
                  << "\n";
    }
    std::cout << "summary: years=" << (to_year - from_year + 1) << " launches=" << launches_
              << " fixes=" << fixes_ << " unguarded=" << unguarded_
              << " worst_wrong_ms=" << worst_wrong_ms_ << " drift_ms=" << drift
              << " end=" << (end_right ? "right" : "wrong") << "\n";
    return unguarded_ == 0 && end_right ? 0 : 1;
}

}  // namespace devsim
