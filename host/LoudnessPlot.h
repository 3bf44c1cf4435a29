#pragma once
// `--plot`: momentary, short-term and integrated loudness over the measured
// time, with the loudness range as a band and the -23 LUFS target, as a PNG.

#include <string>
#include <vector>

namespace NivoloHost {

struct LoudnessSeries {
    // One row per step of audio; a missing reading (below the floor) is NaN.
    std::vector<double> seconds, momentary, shortTerm, integrated;
    double loudnessRange = 0.0; // LU, the meter's final reading
    bool lu = false;            // values in LU (LUFS + 23)
    std::string title;

    void add(double t, double m, double s, double i) {
        seconds.push_back(t);
        momentary.push_back(m);
        shortTerm.push_back(s);
        integrated.push_back(i);
    }
};

// The lower edge of the range band: the 10th percentile of the short-term
// values that pass the range gates (-70 LUFS absolute, 20 LU below their
// mean), as the range itself is computed; NaN when none passes.
double rangeLowEdge(const LoudnessSeries& series);

// False with a one-line reason when the file cannot be written.
bool writeLoudnessPlot(const LoudnessSeries& series, const std::string& path, std::string& error);

} // namespace NivoloHost
