// An operation's tool path as the host holds it: motions and machine-control
// records in order, kept compactly so that a path of millions of moves costs
// a few dozen bytes a move. The posting walk reads the items in place. The
// names of every kind, choice and field are in posting.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "emuhost/translator.h"  // EMUHOST_API

namespace emuhost {

// The kinds of path item: four motions, then the records.
enum class ItemKind : std::uint8_t {
    Rapid,
    Linear,
    Circular,
    Cycle,  // a hole of the cycle started before it
    Spindle,
    SpindleOff,
    Coolant,
    CoolantOff,
    Cutcom,
    CutcomOff,
    CycleStart,
    CycleOff,
};
constexpr bool is_motion(ItemKind kind) { return kind <= ItemKind::Cycle; }

enum class SpindleMode : std::uint8_t { Rpm, Sfm, Smm };

// A machine-control record. Which fields count depends on the kind; the
// choices (coolant mode, cycle kind, ...) are indexes into posting.h's lists.
struct Record {
    ItemKind kind = ItemKind::Spindle;
    // Spindle
    double speed = 0;
    bool clockwise = true;
    SpindleMode mode = SpindleMode::Rpm;
    // Coolant
    std::uint8_t coolant = 0;
    // Cutcom
    bool left = true;
    std::optional<int> cutcom_register;
    // CycleStart: the distances along the tool axis from each hole
    std::uint8_t cycle = 0;
    double rapid_to = 0;
    double feed_to = 0;
    std::optional<double> retract_to;  // absent: rapid_to
    std::optional<double> step;
    std::optional<double> dwell;       // seconds
    std::optional<double> feed;        // absent: the feed rate in force
};

// One path item in 32 bytes. A motion keeps its end point, its kind, its
// motion type and flags here; its feed, an arc's centre and axis follow one
// another in the path's number pool from `extra` on. A record is an index
// into the path's records.
struct PathItem {
    static constexpr std::uint8_t kFeed = 1;       // a feed rate from this move on
    static constexpr std::uint8_t kClockwise = 2;  // an arc, clockwise about its axis
    static constexpr std::uint8_t kAxis = 4;       // an arc with an axis of its own (else +Z)

    double pos[3] = {0, 0, 0};
    ItemKind kind = ItemKind::Linear;
    std::uint8_t type = 0;  // the motion type's index + 1; 0: the kind's own
    std::uint8_t flags = 0;
    std::uint8_t spare = 0;
    std::uint32_t extra = 0;
};
static_assert(sizeof(PathItem) == 32, "a path item is 32 bytes");

// The tool path of one operation.
class EMUHOST_API ToolPath {
public:
    const std::vector<PathItem> &items() const { return items_; }
    bool empty() const { return items_.empty(); }
    std::size_t size() const { return items_.size(); }

    // What a motion keeps beside its end point.
    double feed(const PathItem &item) const { return numbers_[item.extra]; }
    const double *center(const PathItem &item) const { return &numbers_[item.extra + feed_count(item)]; }
    // The arc's axis as written, or +Z.
    const double *axis(const PathItem &item) const;
    const Record &record(const PathItem &item) const { return records_[item.extra]; }

    // Each throws std::length_error when the path outgrows what an item can
    // index (4 billion numbers or records).
    void add_motion(ItemKind kind, const double (&pos)[3], std::uint8_t type, std::optional<double> feed,
                    const double *center = nullptr, const double *axis = nullptr, bool clockwise = false);
    void add_record(const Record &record);

    void clear();
    void shrink_to_fit();

private:
    static std::size_t feed_count(const PathItem &item) { return (item.flags & PathItem::kFeed) ? 1 : 0; }
    std::uint32_t next_index(std::size_t size, std::size_t adding) const;

    std::vector<PathItem> items_;
    std::vector<double> numbers_;
    std::vector<Record> records_;
};

// An arc about `axis` (a unit vector) through `start` and `end` around
// `center`, measured in its plane: the distance of each end from the axis
// through the centre, and the angle swept in degrees, 0 to 360 (a whole
// turn when start and end meet in the plane). A helix is an arc whose end
// leaves the plane along the axis.
struct ArcMeasure {
    double start_radius = 0;
    double end_radius = 0;
    double angle = 0;
};
EMUHOST_API ArcMeasure measure_arc(const double (&start)[3], const double (&end)[3], const double *center,
                                   const double *axis, bool clockwise);

// How far apart the two radii of an arc may lie: kArcTolerance in the
// part's units, or for large arcs kArcRelativeTolerance of the radius.
constexpr double kArcTolerance = 1e-3;
constexpr double kArcRelativeTolerance = 1e-6;
EMUHOST_API bool radii_agree(double first, double second);

}  // namespace emuhost
