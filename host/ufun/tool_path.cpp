// The compact tool path and the measure of its arcs.
#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "emuhost/tool_path.h"

namespace emuhost {
namespace {

const double kPlusZ[3] = {0, 0, 1};
constexpr double kDegreesPerRadian = 57.295779513082320876798;

double dot(const double *a, const double *b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// `point - center` without its part along `axis`: the arm in the arc's plane.
void arm(const double *point, const double *center, const double *axis, double (&out)[3]) {
    double d[3] = {point[0] - center[0], point[1] - center[1], point[2] - center[2]};
    double along = dot(d, axis);
    for (int i = 0; i < 3; ++i) out[i] = d[i] - along * axis[i];
}

}  // namespace

const double *ToolPath::axis(const PathItem &item) const {
    if (!(item.flags & PathItem::kAxis)) return kPlusZ;
    return &numbers_[item.extra + feed_count(item) + 3];
}

std::uint32_t ToolPath::next_index(std::size_t size, std::size_t adding) const {
    if (size + adding > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("the path holds more than 4294967295 numbers or records");
    return static_cast<std::uint32_t>(size);
}

void ToolPath::add_motion(ItemKind kind, const double (&pos)[3], std::uint8_t type, std::optional<double> feed,
                          const double *center, const double *axis, bool clockwise) {
    PathItem item;
    std::copy(pos, pos + 3, item.pos);
    item.kind = kind;
    item.type = type;
    std::size_t adding = (feed ? 1 : 0) + (center ? 3 : 0) + (axis ? 3 : 0);
    item.extra = next_index(numbers_.size(), adding);
    if (feed) {
        item.flags |= PathItem::kFeed;
        numbers_.push_back(*feed);
    }
    if (center) numbers_.insert(numbers_.end(), center, center + 3);
    if (axis) {
        item.flags |= PathItem::kAxis;
        numbers_.insert(numbers_.end(), axis, axis + 3);
    }
    if (clockwise) item.flags |= PathItem::kClockwise;
    items_.push_back(item);
}

void ToolPath::add_record(const Record &record) {
    PathItem item;
    item.kind = record.kind;
    item.extra = next_index(records_.size(), 1);
    records_.push_back(record);
    items_.push_back(item);
}

void ToolPath::clear() {
    items_.clear();
    numbers_.clear();
    records_.clear();
}

void ToolPath::shrink_to_fit() {
    items_.shrink_to_fit();
    numbers_.shrink_to_fit();
    records_.shrink_to_fit();
}

ArcMeasure measure_arc(const double (&start)[3], const double (&end)[3], const double *center, const double *axis,
                       bool clockwise) {
    double from[3], to[3];
    arm(start, center, axis, from);
    arm(end, center, axis, to);
    ArcMeasure measure;
    measure.start_radius = std::sqrt(dot(from, from));
    measure.end_radius = std::sqrt(dot(to, to));
    // The angle from the start's arm to the end's, counterclockwise seen
    // from the tip of the axis.
    double cross[3] = {from[1] * to[2] - from[2] * to[1], from[2] * to[0] - from[0] * to[2],
                       from[0] * to[1] - from[1] * to[0]};
    double turn = std::atan2(dot(cross, axis), dot(from, to)) * kDegreesPerRadian;
    if (turn < 0) turn += 360.0;
    if (clockwise) turn = 360.0 - turn;
    // Start and end meet: a whole turn, whichever way round.
    if (turn < 1e-9 || turn > 360.0 - 1e-9) turn = 360.0;
    measure.angle = turn;
    return measure;
}

bool radii_agree(double first, double second) {
    return std::fabs(first - second) <= std::max(kArcTolerance, kArcRelativeTolerance * std::max(first, second));
}

}  // namespace emuhost
