// Samples as CSV and as a self-contained SVG plot.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "panel.h"

namespace panel {
namespace {

// The plot's frame, in SVG user units.
constexpr double kWidth = 860, kHeight = 480;
constexpr double kLeft = 80, kRight = 690, kTop = 50, kBottom = 420;
// A trace with more points is drawn as the lowest and highest value of
// each of this many time slices, which keeps its envelope.
constexpr size_t kSlices = 1000;

constexpr const char *kColours[] = {"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd",
                                    "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22", "#17becf"};

std::string Escape(const std::string &text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

struct Range {
    double low, high;
};

// The span of a set of values, widened when it is empty or a single value.
Range Span(const std::vector<Trace> &traces, bool times) {
    Range r{INFINITY, -INFINITY};
    for (const Trace &t : traces)
        for (double v : times ? t.seconds : t.volts) {
            if (!std::isfinite(v)) continue;
            r.low = std::min(r.low, v);
            r.high = std::max(r.high, v);
        }
    if (r.low > r.high) r = {0.0, 1.0};
    if (r.high - r.low < 1e-12) {
        double pad = times ? 1e-3 : 0.5;
        r = {r.low - (times ? 0.0 : pad), r.high + pad};
    }
    if (!times) {  // a margin above and below the curves
        double pad = 0.05 * (r.high - r.low);
        r = {r.low - pad, r.high + pad};
    }
    return r;
}

// Tick values at a step of 1, 2 or 5 times a power of ten, about `count` of them.
std::vector<double> Ticks(Range r, int count) {
    double raw = (r.high - r.low) / count;
    double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = power * (raw / power < 1.5   ? 1
                           : raw / power < 3.5 ? 2
                           : raw / power < 7.5 ? 5
                                               : 10);
    std::vector<double> ticks;
    for (double k = std::ceil(r.low / step); k * step <= r.high + step * 1e-9; k += 1) {
        double value = k * step;
        ticks.push_back(std::fabs(value) < step * 1e-9 ? 0.0 : value);
    }
    return ticks;
}

// The points to draw of one trace, in time order.
std::vector<std::pair<double, double>> Points(const Trace &trace) {
    const size_t n = std::min(trace.seconds.size(), trace.volts.size());
    std::vector<std::pair<double, double>> points;
    if (n <= 2 * kSlices) {
        for (size_t i = 0; i < n; ++i) points.emplace_back(trace.seconds[i], trace.volts[i]);
        return points;
    }
    for (size_t slice = 0; slice < kSlices; ++slice) {
        size_t first = slice * n / kSlices, last = (slice + 1) * n / kSlices;
        size_t low = first, high = first;
        for (size_t i = first; i < last; ++i) {
            if (trace.volts[i] < trace.volts[low]) low = i;
            if (trace.volts[i] > trace.volts[high]) high = i;
        }
        for (size_t i : {std::min(low, high), std::max(low, high)})
            points.emplace_back(trace.seconds[i], trace.volts[i]);
    }
    return points;
}

}  // namespace

bool WriteCsv(const std::string &path, const std::vector<Trace> &traces) {
    std::ofstream out(path);
    if (!out) return Fail("cannot write %s", path.c_str());
    out << "time_s";
    size_t rows = traces.empty() ? 0 : traces[0].seconds.size();
    for (const Trace &t : traces) {
        out << ',' << t.name << "_V";
        rows = std::min(rows, t.volts.size());
    }
    out << '\n';
    for (size_t row = 0; row < rows; ++row) {
        out << Text("%.9g", traces[0].seconds[row]);
        for (const Trace &t : traces) out << ',' << Text("%.6g", t.volts[row]);
        out << '\n';
    }
    out.close();
    if (!out) return Fail("cannot write %s", path.c_str());
    return true;
}

std::string SvgPlot(const std::string &title, const std::vector<Trace> &traces) {
    const Range x = Span(traces, true), y = Span(traces, false);
    auto X = [&](double t) { return kLeft + (t - x.low) / (x.high - x.low) * (kRight - kLeft); };
    auto Y = [&](double v) { return kBottom - (v - y.low) / (y.high - y.low) * (kBottom - kTop); };

    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Text("%.0f", kWidth) +
           "\" height=\"" + Text("%.0f", kHeight) + "\" viewBox=\"0 0 " + Text("%.0f", kWidth) +
           " " + Text("%.0f", kHeight) + "\" font-family=\"sans-serif\" font-size=\"12\">\n";
    svg += "<title>" + Escape(title) + "</title>\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    svg += "<text x=\"" + Text("%.1f", (kLeft + kRight) / 2) +
           "\" y=\"28\" text-anchor=\"middle\" font-size=\"15\">" + Escape(title) + "</text>\n";

    // Grid and tick labels.
    svg += "<g class=\"grid\" stroke=\"#dddddd\" stroke-width=\"1\">\n";
    std::string labels;
    for (double t : Ticks(x, 8)) {
        std::string px = Text("%.2f", X(t));
        svg += "<line x1=\"" + px + "\" y1=\"" + Text("%.0f", kTop) + "\" x2=\"" + px + "\" y2=\"" +
               Text("%.0f", kBottom) + "\"/>\n";
        labels += "<text x=\"" + px + "\" y=\"" + Text("%.0f", kBottom + 18) +
                  "\" text-anchor=\"middle\">" + Text("%g", t) + "</text>\n";
    }
    for (double v : Ticks(y, 6)) {
        std::string py = Text("%.2f", Y(v));
        svg += "<line x1=\"" + Text("%.0f", kLeft) + "\" y1=\"" + py + "\" x2=\"" +
               Text("%.0f", kRight) + "\" y2=\"" + py + "\"/>\n";
        labels += "<text x=\"" + Text("%.0f", kLeft - 8) + "\" y=\"" + py +
                  "\" text-anchor=\"end\" dominant-baseline=\"middle\">" + Text("%g", v) +
                  "</text>\n";
    }
    svg += "</g>\n<g class=\"ticks\">\n" + labels + "</g>\n";

    // The frame and the axis titles.
    svg += "<rect class=\"frame\" x=\"" + Text("%.0f", kLeft) + "\" y=\"" + Text("%.0f", kTop) +
           "\" width=\"" + Text("%.0f", kRight - kLeft) + "\" height=\"" +
           Text("%.0f", kBottom - kTop) + "\" fill=\"none\" stroke=\"black\"/>\n";
    svg += "<text class=\"axis-title\" x=\"" + Text("%.1f", (kLeft + kRight) / 2) + "\" y=\"" +
           Text("%.0f", kHeight - 15) + "\" text-anchor=\"middle\">time (s)</text>\n";
    svg += "<text class=\"axis-title\" x=\"20\" y=\"" + Text("%.1f", (kTop + kBottom) / 2) +
           "\" text-anchor=\"middle\" transform=\"rotate(-90 20 " +
           Text("%.1f", (kTop + kBottom) / 2) + ")\">voltage (V)</text>\n";

    // One polyline per trace, clipped to the frame, and the legend.
    svg += "<clipPath id=\"frame\"><rect x=\"" + Text("%.0f", kLeft) + "\" y=\"" +
           Text("%.0f", kTop) + "\" width=\"" + Text("%.0f", kRight - kLeft) + "\" height=\"" +
           Text("%.0f", kBottom - kTop) + "\"/></clipPath>\n";
    svg += "<g class=\"traces\" clip-path=\"url(#frame)\" fill=\"none\" stroke-width=\"1.2\">\n";
    std::string legend;
    for (size_t i = 0; i < traces.size(); ++i) {
        const char *colour = kColours[i % std::size(kColours)];
        std::string points;
        for (auto [t, v] : Points(traces[i])) {
            if (!points.empty()) points += ' ';
            points += Text("%.2f", X(t)) + "," + Text("%.2f", Y(v));
        }
        svg += "<polyline class=\"trace\" stroke=\"" + std::string(colour) + "\" points=\"" +
               points + "\"><title>" + Escape(traces[i].name) + "</title></polyline>\n";
        double ly = kTop + 10 + 20.0 * static_cast<double>(i);
        legend += "<line x1=\"" + Text("%.0f", kRight + 15) + "\" y1=\"" + Text("%.0f", ly) +
                  "\" x2=\"" + Text("%.0f", kRight + 40) + "\" y2=\"" + Text("%.0f", ly) +
                  "\" stroke=\"" + colour + "\" stroke-width=\"2\"/>\n";
        legend += "<text x=\"" + Text("%.0f", kRight + 46) + "\" y=\"" + Text("%.0f", ly) +
                  "\" dominant-baseline=\"middle\">" + Escape(traces[i].name) + "</text>\n";
    }
    svg += "</g>\n<g class=\"legend\">\n" + legend + "</g>\n</svg>\n";
    return svg;
}

bool WritePlots(const std::string &csv, const std::string &svg, const std::string &title,
                const std::vector<Trace> &traces) {
    if (!csv.empty()) {
        if (!WriteCsv(csv, traces)) return false;
        std::printf("wrote %s\n", csv.c_str());
    }
    if (!svg.empty()) {
        if (!WriteSvg(svg, title, traces)) return false;
        std::printf("wrote %s\n", svg.c_str());
    }
    return true;
}

void AddPlotOptions(CLI::App &command, std::string &csv, std::string &svg,
                    const std::string &csvHelp, const std::string &svgHelp) {
    command.add_option("--csv", csv, csvHelp)->type_name("FILE");
    command.add_option("--svg", svg, svgHelp)->type_name("FILE");
}

bool WriteSvg(const std::string &path, const std::string &title, const std::vector<Trace> &traces) {
    std::ofstream out(path);
    if (!out) return Fail("cannot write %s", path.c_str());
    out << SvgPlot(title, traces);
    out.close();
    if (!out) return Fail("cannot write %s", path.c_str());
    return true;
}

}  // namespace panel
