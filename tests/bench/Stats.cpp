#include "bench/Stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace bench {

void Samples::Append(const Samples& other) {
    values.insert(values.end(), other.values.begin(), other.values.end());
    missed += other.missed;
    doubled += other.doubled;
}

double Median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double Percentile(std::vector<double> values, double percent) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const double rank = std::ceil(percent / 100.0 * static_cast<double>(values.size()));
    const size_t index = rank < 1 ? 0 : static_cast<size_t>(rank) - 1;
    return values[std::min(index, values.size() - 1)];
}

double Max(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

std::string FormatNumber(double value) {
    char text[64];
    const double magnitude = std::fabs(value);
    if (magnitude >= 100) {
        std::snprintf(text, sizeof text, "%.0f", value);
    } else if (magnitude >= 10) {
        std::snprintf(text, sizeof text, "%.1f", value);
    } else {
        std::snprintf(text, sizeof text, "%.2f", value);
    }
    return text;
}

namespace {

// What the cell says about runs that gave no value and programs started twice.
std::string Notes(const Samples& samples) {
    const int all = static_cast<int>(samples.values.size()) + samples.missed;
    std::string notes;
    if (samples.missed > 0) {
        notes += "; " + std::to_string(samples.missed) + " of " + std::to_string(all) + " missed";
    }
    if (samples.doubled > 0) {
        notes += "; " + std::to_string(samples.doubled) + " twice";
    }
    return notes;
}

Cell Missing(const Samples& samples) {
    if (samples.missed == 0) {
        return {std::string(kNotMeasured), std::nullopt};
    }
    return {"none of " + std::to_string(samples.missed) + " runs gave a value", std::nullopt};
}

}  // namespace

Cell MedianCell(const Samples& samples) {
    if (samples.values.empty()) {
        return Missing(samples);
    }
    const double median = Median(samples.values);
    return {FormatNumber(median) + Notes(samples), median};
}

Cell SpreadCell(const Samples& samples) {
    if (samples.values.empty()) {
        return Missing(samples);
    }
    const double median = Median(samples.values);
    return {"median " + FormatNumber(median) + ", p95 " + FormatNumber(Percentile(samples.values, 95)) + ", max " +
                FormatNumber(Max(samples.values)) + Notes(samples),
            median};
}

Cell MedianMaxCell(const Samples& samples) {
    if (samples.values.empty()) {
        return Missing(samples);
    }
    const double median = Median(samples.values);
    return {"median " + FormatNumber(median) + ", max " + FormatNumber(Max(samples.values)) + Notes(samples), median};
}

bool Unmeasured(const TableRow& row) {
    // A quotient of figures that were not measured reads "-", as the floor's does when it has no such figure.
    return !row.marlowick.value && (row.marlowick.text == kNotMeasured || row.marlowick.text == "-");
}

std::string Ratio(const Cell& value, const Cell& floor) {
    if (!value.value || !floor.value || *floor.value <= 0) {
        return "-";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", *value.value / *floor.value);
    return text;
}

std::string FormatTable(const std::vector<TableRow>& rows) {
    const bool withBaseline =
        std::any_of(rows.begin(), rows.end(), [](const TableRow& row) { return row.baseline.has_value(); });
    std::vector<std::vector<std::string>> lines;
    lines.push_back({"figure", "Marlowick", "floor", "ratio"});
    if (withBaseline) {
        lines.front().insert(lines.front().end(), {"baseline", "baseline ratio"});
    }
    for (const TableRow& row : rows) {
        std::vector<std::string> line{row.figure, row.marlowick.text, row.floor.text, Ratio(row.marlowick, row.floor)};
        if (withBaseline) {
            const Cell none{"-", std::nullopt};
            const Cell& baseline = row.baseline ? *row.baseline : none;
            line.insert(line.end(), {baseline.text, Ratio(baseline, row.floor)});
        }
        lines.push_back(line);
    }
    std::vector<size_t> widths(lines.front().size(), 0);
    for (const auto& line : lines) {
        for (size_t i = 0; i < line.size(); ++i) {
            widths[i] = std::max(widths[i], line[i].size());
        }
    }
    std::string table;
    const auto append = [&](const std::vector<std::string>& line) {
        table += "|";
        for (size_t i = 0; i < line.size(); ++i) {
            table += " " + line[i] + std::string(widths[i] - line[i].size(), ' ') + " |";
        }
        table += "\n";
    };
    append(lines.front());
    std::vector<std::string> rule;
    for (size_t width : widths) {
        rule.push_back(std::string(width, '-'));
    }
    append(rule);
    for (size_t i = 1; i < lines.size(); ++i) {
        append(lines[i]);
    }
    return table;
}

}  // namespace bench
