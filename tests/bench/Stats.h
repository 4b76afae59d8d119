#pragma once
// Summaries of repeated measurements and the one table the bench prints.
#include <optional>
#include <string>
#include <vector>

namespace bench {

// The measurements of one figure. A run that produced no value (no window, a program that never started)
// counts as missed, so that a summary never looks better than what happened.
struct Samples {
    std::vector<double> values;
    int missed = 0;
    // Extra events worth telling, such as a program started twice for one due second.
    int doubled = 0;

    void Add(double value) { values.push_back(value); }
    void Add(const std::optional<double>& value) {
        if (value) {
            values.push_back(*value);
        } else {
            ++missed;
        }
    }
    void Append(const Samples& other);
};

double Median(std::vector<double> values);
// Nearest rank: the smallest value that at least p percent of the values do not exceed.
double Percentile(std::vector<double> values, double percent);
double Max(const std::vector<double>& values);

// One cell of the table: its text and the number the ratio is taken of.
struct Cell {
    std::string text;
    std::optional<double> value;
};

// The text of a cell whose figure was not measured in this run at all (as opposed to runs that gave no value).
inline constexpr char kNotMeasured[] = "not measured";

// A number as the table shows it: whole numbers above 100, two decimals below 10, one in between.
std::string FormatNumber(double value);
// The median of the samples, and the number of missed runs when there were any.
Cell MedianCell(const Samples& samples);
// Median, 95th percentile and maximum; the median is the cell's value.
Cell SpreadCell(const Samples& samples);
// The median and the maximum.
Cell MedianMaxCell(const Samples& samples);

struct TableRow {
    std::string figure;
    Cell marlowick;
    Cell floor;
    std::optional<Cell> baseline;
};

// Whether a row holds no figure of this run: not measured, or derived from figures that were not.
bool Unmeasured(const TableRow& row);

// "n.nn" for value over floor, or "-" when either is missing or the floor is zero.
std::string Ratio(const Cell& value, const Cell& floor);

// A Markdown table: figure | Marlowick | floor | ratio, and baseline | baseline ratio when any row has a
// baseline.
std::string FormatTable(const std::vector<TableRow>& rows);

}  // namespace bench
