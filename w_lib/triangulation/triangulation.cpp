// Polygon triangulation: polygons with more corners than a format takes are
// cut into triangles by ear clipping in their own plane, each triangle
// keeping the polygon's attributes and those of its three corners.
#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "w_lib/triangulation/corner_count.h"
#include "w_lib/triangulation/corner_set.h"
#include "w_lib/triangulation/corner_tree.h"
#include "w_lib/triangulation/side_crossing_index.h"
#include "w_lib/util/parallel.h"
#include "w_lib/w_scene.h"

namespace {

double DotDouble(const WVector& a, const WVector& b) {
  return static_cast<double>(a.x) * static_cast<double>(b.x) + static_cast<double>(a.y) * static_cast<double>(b.y) +
         static_cast<double>(a.z) * static_cast<double>(b.z);
}

// dot(n, (b - a) x (p - a)) in double precision: positive when p lies to the
// left of the run from a to b, seen from the side that n points to.
double SideOf(const WVector& n, const WVector& a, const WVector& b, const WVector& p) {
  const double ux = static_cast<double>(b.x) - a.x, uy = static_cast<double>(b.y) - a.y,
               uz = static_cast<double>(b.z) - a.z;
  const double vx = static_cast<double>(p.x) - a.x, vy = static_cast<double>(p.y) - a.y,
               vz = static_cast<double>(p.z) - a.z;
  return n.x * (uy * vz - uz * vy) + n.y * (uz * vx - ux * vz) + n.z * (ux * vy - uy * vx);
}

// Whether p lies inside or on the triangle a, b, c that turns about n.
bool InsideOrOn(const WVector& n, const WVector& a, const WVector& b, const WVector& c, const WVector& p) {
  return SideOf(n, a, b, p) >= 0.0 && SideOf(n, b, c, p) >= 0.0 && SideOf(n, c, a, p) >= 0.0;
}

bool NamesVertex(const WObject& object, int v) { return v >= 0 && v < object.vnum; }

bool AllCornersNameVertices(const WObject& object, const WFace& face) {
  for (int k = 0; k < face.num; ++k)
    if (!NamesVertex(object, face.v[k])) return false;
  return true;
}

// How many tests of sides that only touch a diagonal (see
// SideCrossingIndex) a polygon's cut may take with every diagonal answered
// exactly: 32 a corner, and 65,536 besides. Outlines met in practice test
// about four a corner (the sides at a diagonal's ends; eight for a star of
// long spikes). A long straight run of corners, or a point that many
// corners come back to, makes every diagonal there test every side there,
// which grows with the square of the corners.
long long ExactCutBudget(int n) { return 32 * static_cast<long long>(n) + 65536; }

// How many tests of piled sides (see SideCrossingIndex::PiledWork) one try
// of a polygon's cut may take, answered exactly or passing over: 4 a corner,
// and 65,536 besides. Outlines met in practice have next to none: a corner
// lies on another side only where the outline comes back to touch itself.
// Many sides through a few points (petals along a few lines from a
// centre, of every length) make every diagonal that ends on them test all
// of them, and passing over cannot spare those tests, since such a side
// shares neither an end nor a line with the diagonal. A try past the
// budget is given up as if it had missed.
long long PiledTryBudget(int n) { return 4 * static_cast<long long>(n) + 65536; }

// How many sides or corners a polygon's cut may walk one by one, where a
// tree cannot be trusted (coordinates beyond kMaxTreeCoordinate) or cannot
// bound a candidate ear: 64 a corner, and four million besides, which a
// polygon of a couple of thousand corners can pass only by walking them
// all for every diagonal. Past it the polygon becomes the fan from its
// first corner: coordinates that large round the side tests to noise
// anyway, and the fan costs a step a triangle.
long long WalkBudget(int n) { return 64 * static_cast<long long>(n) + (1LL << 22); }

// Polygons of this many corners and more have work made ahead on a thread
// of their own while the ear clipper's tries run: the fallback's cut (see
// FallbackAhead), or for a strip the count of what the tries settle (see
// CountAhead) until a try misses. The few that need either then wait for
// it instead of making it after the rest. Below, a try costs too little
// for the thread to pay.
constexpr int kAheadCorners = 65536;

// The count made ahead shares the polygon's tree of sides, but builds its
// own bounds over it where a shape needs them, some tens of megabytes for
// a large strip: a 32-bit address space keeps that room for the document.
constexpr bool kCountAheadFits = sizeof(void*) >= 8;

// How many entries of the settled diagonals' list are handed to the count
// made ahead at a time: few enough locks, and a short wait at the end.
constexpr size_t kHandedBlock = 8192;

// Whether no cut of the face into ears that each pass the clipper's turn
// test for `normal` can exist, so that an attempt with that normal is
// bound to miss.
//
// The cross products (b - a) x (c - b) of any cut's triangles add up to
// that of the whole outline, sum over k of p_k x p_k+1, exactly: clipping
// b from the ring a, b, c takes off a x b + b x c + c x a. The turn test
// takes a triangle whose float cross product, scaled to unit length, has a
// double dot product with the normal of at least zero. With every corner
// within an axis-aligned box of extents W, each component of the float
// cross product lies within 4.01 eps of twice the products of two extents
// of the exact one (eps = 2^-24: one rounding for each difference, each
// product and the subtraction), the scaling and the dot product add eps
// more, so a triangle that passes has a dot product with the normal above
// -(10.1 eps * B + tiny) where B = |nx| Wy Wz + |ny| Wz Wx + |nz| Wx Wy;
// the bound below takes 16 eps. Coordinates are kept below 1e9, so that
// the float length of a cross product cannot overflow (an infinite length
// scales it to zero, which every test passes). When the outline's own dot
// product, with its double rounding bounded, lies below n - 2 such
// slacks, the triangles of no cut can sum up to it.
bool NoCutTurnsAbout(const WObject& object, const WFace& face, const WVector& normal) {
  const int n = face.num;
  if (n < 3) return false;
  double lo[3], hi[3];
  for (int j = 0; j < 3; ++j) lo[j] = HUGE_VAL, hi[j] = -HUGE_VAL;
  const double nn[3] = {normal.x, normal.y, normal.z};
  double sum = 0.0, magnitude = 0.0;
  for (int k = 0; k < n; ++k) {
    const WVector& p = object.vertices[face.v[k]].pos;
    const WVector& q = object.vertices[face.v[(k + 1) % n]].pos;
    const double c[3] = {p.x, p.y, p.z}, d[3] = {q.x, q.y, q.z};
    for (int j = 0; j < 3; ++j) {
      if (!(std::fabs(c[j]) <= 1e9)) return false;  // NaN too
      lo[j] = std::min(lo[j], c[j]);
      hi[j] = std::max(hi[j], c[j]);
    }
    // Products of two floats are exact in double.
    for (int j = 0; j < 3; ++j) {
      const int u = (j + 1) % 3, w = (j + 2) % 3;
      const double plus = c[u] * d[w], minus = c[w] * d[u];
      sum += nn[j] * (plus - minus);
      magnitude += std::fabs(nn[j]) * (std::fabs(plus) + std::fabs(minus));
    }
  }
  // Each term takes four roundings and the running sum one more a term:
  // (n + 5) double roundings of at most the magnitude, with room.
  const double sum_error = 1.01 * (static_cast<double>(n) + 5.0) * 0x1p-53 * magnitude;
  const double w[3] = {hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]};
  const double b = std::fabs(nn[0]) * w[1] * w[2] + std::fabs(nn[1]) * w[2] * w[0] + std::fabs(nn[2]) * w[0] * w[1];
  // The tiny term covers roundings that underflow, and a cross product
  // whose float length underflows to zero (components under about 4e-23),
  // which scales it to zero and passes.
  const double slack =
      1.01 * (16.0 * 0x1p-24 * b + 1e-20 * (std::fabs(nn[0]) + std::fabs(nn[1]) + std::fabs(nn[2])));
  return sum + sum_error < -static_cast<double>(n - 2) * slack;
}

void MarkDeleted(WFace& face) {
  face.flags |= kDeleted;
  face.remap = -1;
}

// Working state of one polygon, kept across the polygons of an object so
// that its storage is allocated rarely.
//
// The remaining corners form a ring (prev_, next_), so that the corners
// around a candidate and the next candidate are found in constant time
// however many corners have been clipped; the side test asks a tree of boxes over the
// polygon's sides, and the fallback's corner test a tree of its corners. All
// give exactly what scanning the corners and sides in order gives, for every
// polygon that stays within the two budgets above; past them it is cut by
// the cheaper tests that they name.
class EarClipper {
  enum Outcome { kCut, kMissed, kOverBudget };

 public:
  // Cuts face f of the object, which has n corners that all name vertices.
  // True when its n - 2 triangles were added.
  bool CutFace(WObject& object, int f, int n) {
    // The faces array does not move while the polygon is cut: its room was
    // reserved, and the index reads the stored face.
    SideCrossingIndex sides(object, f);
    FallbackAhead ahead;
    CountAhead counting;
    ahead_ = &ahead;
    struct Done {  // the threads end before the polygon's state does
      FallbackAhead& ahead;
      CountAhead& counting;
      EarClipper& clipper;
      ~Done() {
        counting.Stop();
        ahead.Stop();
        clipper.ahead_ = nullptr;
        clipper.counting_ = nullptr;
      }
    } done{ahead, counting, *this};
    f_ = f;
    n_ = n;
    budget_ = ExactCutBudget(n);
    piled_budget_ = PiledTryBudget(n);
    piled_up_ = false;
    walk_budget_ = WalkBudget(n);
    walked_ = 0;
    // A second try that is bound to miss (see NoCutTurnsAbout) is not made
    // when that cannot change the outcome. It misses, or it passes the
    // budget and the polygon starts over passing over touching sides; then
    // the first try is made again and, if it misses, the second, which is
    // bound to miss too. So unless that repeated first try cuts, the polygon
    // goes on to the fallback whatever the second try does: a polygon
    // whose normal follows its winding skips the second try's walk along
    // every side, which can take the square of the corners. The repeated
    // first try depends on nothing the first one counted, so it is made
    // ahead on an index of its own.
    const bool second_misses =
        sides.Indexed() && NoCutTurnsAbout(object, object.faces[f], -object.faces[f].normal);
    const bool first_misses = sides.Indexed() && NoCutTurnsAbout(object, object.faces[f], object.faces[f].normal);
    make_ahead_ = n >= kAheadCorners && sides.Indexed() && WorkerCount() > 1;
    fallback_ahead_ = false;
    FallbackMayFollow(object);
    count_ahead_ = make_ahead_ && kCountAheadFits && !first_misses ? &counting : nullptr;
    if (sides.Indexed()) {
      // While every diagonal is answered the same both ways, the count is
      // never read: the tries settle each diagonal without it
      // (SideCrossingIndex::Settle), which tests only the sides that the
      // diagonal can reach, and from the first answer that differs go on
      // counting (see Resume).
      settling_ = true;
      asked_.clear();
      const Outcome answered = CutAnswered(object, sides, n, first_misses, second_misses);
      settling_ = false;
      if (answered == kCut) return true;
      if (answered == kMissed) return CutFallback(object, f, n) || (piled_up_ && CutFan(object, f, n));
      // The tries with the budget follow, and the fallback may follow them.
      FallbackMayFollow(object);
    }
    // The second try of each kind is for a stored normal that faces against
    // the winding of the corners.
    for (int attempt = 0; attempt < 2; ++attempt) {
      // Passing over touching sides, nothing is counted: a first try bound
      // to miss changes nothing.
      if (attempt == 0 && first_misses && sides.PassesOverTouchingSides()) continue;
      if (attempt == 1 && second_misses && (sides.PassesOverTouchingSides() || !FirstCutsPassingOver(object, f, n)))
        break;
      Load(object.faces[f], attempt == 1);
      const Outcome outcome = Cut(object, sides, n);
      if (outcome == kCut) return true;
      if (outcome == kOverBudget) {
        if (!sides.Indexed()) return CutFan(object, f, n);
        // Too costly to answer every diagonal exactly: start over, passing
        // over the sides that merely touch a diagonal.
        sides.PassOverTouchingSides();
        attempt = -1;
      }
    }
    // A polygon whose tries gave up for its piled sides is not lost where
    // the fallback cannot cut it either: it becomes the fan.
    return CutFallback(object, f, n) || (piled_up_ && CutFan(object, f, n));
  }

 private:
  // The tries of the side test made without the budget, every diagonal
  // answered exactly (SideCrossingIndex::Answer) and, where a side crosses
  // it, also as passing over touching sides would answer it. While both
  // answers agree, the tries after a start-over that passes over touching
  // sides would ask the same diagonals and cut alike, so where the budget
  // sends the polygon back makes no difference: what these tries give is
  // what the tries with the budget give; and where the answers differ, the
  // count of touching sides tells which of them the tries with the budget
  // take (see AnswerDiagonal). Where it cannot tell, these tries give up
  // (kOverBudget) and the tries with the budget are made instead. A try
  // that is bound to miss (see NoCutTurnsAbout) is not made: a first one,
  // as above, and a second one while every answer was the same both ways,
  // since after a first try that missed, with or without a start-over, it
  // leads to the fallback.
  Outcome CutAnswered(WObject& object, SideCrossingIndex& sides, int n, bool first_misses, bool second_misses) {
    tripped_ = false;
    diverged_ = false;
    skipped_first_ = false;
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (attempt == 0 && first_misses) {
        // Bound to miss, whether made before or after a start-over: the
        // second try follows it either way, but what it counted is not
        // known.
        skipped_first_ = true;
        continue;
      }
      if (attempt == 1 && second_misses && !diverged_) return kMissed;
      Load(object.faces[f_], attempt == 1);
      const Outcome outcome = Cut(object, sides, n, true);
      if (outcome == kOverBudget && tripped_) {
        // As the tries with the budget start over: passing over touching
        // sides from the first try on.
        diverged_ = false;
        attempt = -1;
        continue;
      }
      if (outcome != kMissed) return outcome;
      // A try missed: the fallback may be needed now.
      FallbackMayFollow(object);
    }
    return kMissed;
  }

  // The work made ahead, for the polygons large enough for it. The fallback
  // is made ahead from the start: any polygon may need it. The count pays
  // only where an answer comes to differ, which happens where diagonals run
  // within the float rounding of sides they pass, as along a strip; such a
  // polygon makes the first index bound its nodes tightly soon after the
  // start (see SideCrossingIndex::BoundTightly), while a star or a sawtooth
  // does not. From then on, and until a try misses, the thread counts
  // instead: two threads beside the tries would slow them down on a
  // machine of two cores (a star of 290,000 corners by a tenth).
  void FallbackMayFollow(WObject& object) {
    if (!make_ahead_) return;
    count_ahead_ = nullptr;  // not started after a try has missed
    if (counting_ != nullptr) {
      counting_->Stop();
      counting_ = nullptr;
    }
    if (!fallback_ahead_) {
      fallback_ahead_ = true;
      ahead_->Start(object, object.faces[f_], n_);
    }
  }

  void CountMayPay(const SideCrossingIndex& sides) {
    if (count_ahead_ == nullptr || !sides.TightlyBound()) return;
    // The thread's index shares the bounds instead of building its own.
    sides.BoundForCounting();
    ahead_->GiveUp();
    fallback_ahead_ = false;
    counting_ = count_ahead_;
    count_ahead_ = nullptr;
    counting_->Start(sides, budget_, piled_budget_);
  }

  // Whether the count of touching sides is that of the tries with the
  // budget: every try they made was made here, and no answer passed over
  // runs on axis lines (which also moves the count's sample).
  bool CountsAsWithBudget(const SideCrossingIndex& sides) const {
    return !skipped_first_ && !sides.AnswersPassedOverAxisLines();
  }

  // Whether the diagonal prev..next crosses a side (1) or not (0) as the
  // tries with the budget would find, or -1 where that cannot be told, or
  // kGivenUp where the try has passed the budget of its piled sides.
  // Their answers are those before passing over until their count of
  // touching sides passes the budget, then those after; AnsweredTouchingWork
  // counts alike while CountsAsWithBudget. So once it passes the budget
  // (tripped_), the tries with the budget have
  // started over, and as every answer so far was the same both ways, they
  // have come to the same place passing over touching sides: the answers
  // after passing over are theirs. Before, an answer that differs is
  // theirs only while they still answer before passing over: if the count
  // is exact, the answer is taken (diverged_) and from then on kept exact,
  // and where the count passes the budget later, CutAnswered starts over
  // passing over touching sides, as the tries with the budget do.
  //
  // While settling, the count is not kept (it stays zero, so the budget
  // never sends the tries back), but what was asked is noted; at the first
  // answer that differs, Resume counts it.
  int AnswerDiagonal(SideCrossingIndex& sides, int prev, int next) {
    if (settling_) {
      // Settling keeps no count, and so no budget. Where its own walks test
      // more sides that only touch their diagonals than the budget allows
      // (a point that many corners come back to, or a long run on one line,
      // whose coordinates the side test takes exactly, so that no answer
      // ever differs), it goes on counting from here, as at an answer that
      // differs: the count then soon passes the budget and the tries pass
      // over such sides.
      if (sides.SettledTouchingWork() > budget_ || sides.SettledPiledWork() > piled_budget_)
        return Resume(sides, prev, next);
      CountMayPay(sides);
      // What is handed over stays as it is: the pair below may be taken
      // back.
      if (counting_ != nullptr && asked_.size() - counting_->Handed() >= kHandedBlock)
        counting_->Hand(asked_, skipped_first_);
      asked_.push_back(prev);
      asked_.push_back(next);
      if (!sides.Settle(prev, next, false)) return 0;
      if (sides.Settle(prev, next, true)) return 1;
      asked_.resize(asked_.size() - 2);
      return Resume(sides, prev, next);
    }
    if (tripped_) return sides.AnswerPassingOver(prev, next) ? 1 : 0;
    if (!sides.Answer(prev, next, false, !diverged_)) return 0;
    if (diverged_ || sides.Answer(prev, next, true)) return 1;
    if (!CountsAsWithBudget(sides)) return -1;
    diverged_ = true;
    return 1;
  }

  // Goes on counting from the diagonal prev..next, the first whose answers
  // differ while settling: the diagonals asked so far are counted in order,
  // with the budget looked at where the tries look at it (kChecked in
  // asked_), so that the count and what it led to (tripped_, or giving up)
  // are those of the tries that count from the start; then prev..next is
  // answered as they answer it. Every answer so far was the same both ways,
  // so they came to this same place.
  int Resume(SideCrossingIndex& sides, int prev, int next) {
    settling_ = false;
    Counted counted;
    counted.tripped = tripped_;
    bool made = false;
    if (counting_ != nullptr) {
      // The count made ahead, as the loop below would make it.
      const CountAhead::Count ahead = counting_->Finish(asked_, skipped_first_);
      counting_ = nullptr;
      if (ahead.made) {
        sides.TakeAnswered(ahead.answered);
        counted = ahead.counted;
        made = true;
      }
    }
    if (!made) CountAsked(sides, asked_.data(), asked_.size(), budget_, piled_budget_, skipped_first_, counted);
    if (counted.gave_up) return -1;
    tripped_ = counted.tripped;
    piled_before_ = counted.piled_before;
    piled_up_ = piled_up_ || counted.any_piled_up;
    asked_.clear();
    if (counted.piled_up) return kGivenUp;
    return AnswerDiagonal(sides, prev, next);
  }

  // Where counting the settled diagonals has come to: the count passed the
  // budget where the tries looked at it (then, with no answer differing
  // yet, they go on passing over), or it did so where the count is not
  // that of the tries with the budget (see CountsAsWithBudget), and the
  // tries give up; and for the piled sides, the count where the try being
  // counted began, and whether it passed the budget of a try there, which
  // gives that try up (the rest of it is passed over).
  struct Counted {
    bool tripped = false;
    bool gave_up = false;
    long long piled_before = 0;
    bool piled_up = false;
    bool any_piled_up = false;  // some try was given up so
  };

  // Counts the diagonals asked[0 .. size) on sides, in order, looking at the
  // budgets where kChecked says the tries looked at them, and starting the
  // piled sides' count of a try at kTryStart; nothing more once the count
  // is tripped or given up. False where *stop was set first.
  static bool CountAsked(SideCrossingIndex& sides, const int* asked, size_t size, long long budget,
                         long long piled_budget, bool skipped_first, Counted& counted,
                         const std::atomic<bool>* stop = nullptr) {
    for (size_t k = 0; k < size && !counted.gave_up;) {
      if (stop != nullptr && stop->load(std::memory_order_relaxed)) return false;
      if (asked[k] == kTryStart) {
        ++k;
        counted.piled_before = sides.AnsweredPiledWork();
        counted.piled_up = false;
        continue;
      }
      if (counted.piled_up) {  // the rest of a try given up
        k += asked[k] == kChecked ? 1 : 2;
        continue;
      }
      if (asked[k] == kChecked) {
        ++k;
        if (sides.AnsweredPiledWork() - counted.piled_before > piled_budget) {
          counted.piled_up = true;
          counted.any_piled_up = true;
          continue;
        }
        if (!counted.tripped && sides.AnsweredTouchingWork() > budget) {
          if (skipped_first || sides.AnswersPassedOverAxisLines()) counted.gave_up = true;
          else counted.tripped = true;
        }
        continue;
      }
      if (!counted.tripped) sides.Answer(asked[k], asked[k + 1], false);
      k += 2;
    }
    return true;
  }

  // The count of the settled diagonals made ahead, on a thread of its own,
  // for a large polygon: the calling thread hands over its list of asked
  // diagonals (asked_) in blocks as it grows, and a second index of the
  // face answers them in order, counting, exactly as Resume's loop does.
  // At the first answer that differs, the calling thread waits for the
  // count to take in the rest instead of making all of it then; where no
  // answer differs, the count is thrown away. The second index shares the
  // first one's tree, and reads only that, the vertex positions and the
  // stored face, none of which change while the polygon is cut.
  class CountAhead {
   public:
    struct Count {
      bool made = false;  // false: the calling thread counts itself
      Counted counted;    // as Resume's loop leaves it
      SideCrossingIndex::AnsweredCount answered;
    };

    ~CountAhead() { Stop(); }

    // Starts the thread; where it cannot start, nothing is counted ahead.
    void Start(const SideCrossingIndex& built, long long budget, long long piled_budget) {
      budget_ = budget;
      piled_budget_ = piled_budget;
      try {
        thread_ = std::thread([this, &built] { Run(built); });
      } catch (const std::bad_alloc&) {
      } catch (const std::system_error&) {
      }
    }

    // How many entries of the list have been handed over.
    size_t Handed() const { return handed_; }

    // Hands over the entries of asked past those handed before.
    void Hand(const std::vector<int>& asked, bool skipped_first) {
      if (!thread_.joinable() || asked.size() <= handed_) return;
      try {
        Block block{std::vector<int>(asked.begin() + static_cast<std::ptrdiff_t>(handed_), asked.end()),
                    skipped_first};
        {
          const std::lock_guard<std::mutex> lock(mutex_);
          blocks_.push_back(std::move(block));
        }
        handed_ = asked.size();
        wake_.notify_one();
      } catch (const std::bad_alloc&) {
        Stop();  // the calling thread counts all of it itself
      }
    }

    // Hands over the rest of asked and waits for the count of all of it.
    Count Finish(const std::vector<int>& asked, bool skipped_first) {
      Hand(asked, skipped_first);
      if (!thread_.joinable()) return Count();
      {
        std::unique_lock<std::mutex> lock(mutex_);
        closed_ = true;
        wake_.notify_one();
        counted_.wait(lock, [&] { return finished_; });
      }
      thread_.join();
      return count_;
    }

    // Tells the thread to give up and waits for it.
    void Stop() {
      if (!thread_.joinable()) return;
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_.store(true, std::memory_order_relaxed);
      }
      wake_.notify_one();
      thread_.join();
    }

   private:
    struct Block {
      std::vector<int> asked;
      bool skipped_first;
    };

    void Run(const SideCrossingIndex& built) {
      Count count;
      try {
        SideCrossingIndex sides(built, SideCrossingIndex::kSharingTree);
        count.made = sides.Indexed();
        for (;;) {
          Block block;
          {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] { return stop_.load(std::memory_order_relaxed) || closed_ || !blocks_.empty(); });
            if (stop_.load(std::memory_order_relaxed)) return;
            if (blocks_.empty()) break;  // closed, and every block counted
            block = std::move(blocks_.front());
            blocks_.pop_front();
          }
          // Once tripped, the loop counts nothing, but still notes where
          // each try starts.
          if (!count.made || count.counted.gave_up) continue;
          if (!CountAsked(sides, block.asked.data(), block.asked.size(), budget_, piled_budget_, block.skipped_first,
                          count.counted, &stop_))
            return;
        }
        count.answered = sides.Answered();
      } catch (...) {  // out of memory: the calling thread counts
        count = Count();
      }
      const std::lock_guard<std::mutex> lock(mutex_);
      count_ = count;
      finished_ = true;
      counted_.notify_one();
    }

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;     // for the thread: a block, the end, or stop
    std::condition_variable counted_;  // for the caller: the count is made
    std::deque<Block> blocks_;
    std::atomic<bool> stop_{false};
    bool closed_ = false;    // no more blocks come
    bool finished_ = false;  // count_ is final
    Count count_;
    size_t handed_ = 0;  // the caller's own
    long long budget_ = 0;
    long long piled_budget_ = 0;
  };

  // What the fallback comes to: cut by its first or its second attempt,
  // missed by both, or over its walk budget (then the fan), or unknown
  // (a cut made ahead that did not finish).
  enum Fallback { kFallbackFirst, kFallbackSecond, kFallbackMissed, kFallbackFan, kFallbackUnknown };

  // The fallback's cut worked out on a thread of its own, for a large
  // polygon, from the start of its cut: it reads only the vertex positions
  // and a copy of the face, and notes its triangles (see noted_) instead of
  // adding them, so the tries on the calling thread go on undisturbed.
  // Adding the noted triangles in order gives what the fallback gives.
  class FallbackAhead {
   public:
    ~FallbackAhead() { Stop(); }

    // Starts the thread; where it cannot start, the fallback is made as
    // always when it is needed.
    void Start(WObject& object, const WFace& face, int n) {
      Stop();  // one given up before
      stop_.store(false, std::memory_order_relaxed);
      triples_.clear();
      outcome_ = kFallbackUnknown;
      try {
        face_ = face;
        thread_ = std::thread([this, &object, n] { Run(object, n); });
      } catch (const std::bad_alloc&) {
      } catch (const std::system_error&) {
      }
    }

    // Tells the thread to give up and waits for it.
    void Stop() {
      if (!thread_.joinable()) return;
      stop_.store(true, std::memory_order_relaxed);
      thread_.join();
    }

    // Tells the thread to give up without waiting: it ends at its next
    // candidate ear. A later Start or Stop waits for it.
    void GiveUp() { stop_.store(true, std::memory_order_relaxed); }

    // Waits for the cut; kFallbackUnknown where none was made ahead.
    Fallback Wait() {
      if (!thread_.joinable()) return kFallbackUnknown;
      thread_.join();
      return outcome_;
    }

    const std::vector<int>& Triples() const { return triples_; }

   private:
    void Run(WObject& object, int n) {
      try {
        EarClipper clipper;
        clipper.noted_ = &triples_;
        clipper.stop_ = &stop_;
        clipper.walk_budget_ = WalkBudget(n);
        outcome_ = clipper.FallbackOf(object, face_, n);
        if (stop_.load(std::memory_order_relaxed)) outcome_ = kFallbackUnknown;
      } catch (...) {  // out of memory: the calling thread makes the cut
        outcome_ = kFallbackUnknown;
      }
    }

    std::thread thread_;
    std::atomic<bool> stop_{false};
    WFace face_;
    std::vector<int> triples_;  // prev, cur, next of each triangle, in order
    Fallback outcome_ = kFallbackUnknown;
  };

  // The test above takes for an ear a corner whose triangle holds another
  // corner of the polygon, as long as no side crosses the diagonal; the
  // rest of the polygon then turns the wrong way and the cut fails. A
  // polygon that can be cut is not to be lost for that.
  bool CutFallback(WObject& object, int f, int n) {
    Fallback outcome = ahead_ != nullptr ? ahead_->Wait() : kFallbackUnknown;
    if (outcome == kFallbackFirst || outcome == kFallbackSecond) {
      Load(object.faces[f], outcome == kFallbackSecond);
      Start(object, n);
      const std::vector<int>& triples = ahead_->Triples();
      for (size_t k = 0; k + 2 < triples.size(); k += 3) Clip(object, triples[k], triples[k + 1], triples[k + 2]);
      return true;
    }
    if (outcome == kFallbackUnknown) outcome = FallbackOf(object, object.faces[f], n);
    if (outcome == kFallbackFan) return CutFan(object, f, n);
    return outcome != kFallbackMissed;
  }

  // The fallback's two attempts on the face; what the attempt that cuts
  // makes is kept (added, or noted).
  Fallback FallbackOf(WObject& object, const WFace& face, int n) {
    CornerTree corners(object, face);
    for (int attempt = 0; attempt < 2; ++attempt) {
      Load(face, attempt == 1);
      const Outcome outcome = CutSimple(object, corners, n);
      if (outcome == kCut) return attempt == 0 ? kFallbackFirst : kFallbackSecond;
      if (outcome == kOverBudget) return kFallbackFan;
    }
    return kFallbackMissed;
  }

  // Whether the first try cuts face f once the index passes over touching
  // sides; what it made is taken away again.
  bool FirstCutsPassingOver(WObject& object, int f, int n) {
    SideCrossingIndex passing(object, f);
    passing.PassOverTouchingSides();
    Load(object.faces[f], false);
    const Outcome outcome = Cut(object, passing, n);
    if (outcome == kCut) Undo(object);
    return outcome == kCut;
  }

  void Load(const WFace& face, bool negate) {
    w_ = face;
    if (negate) w_.normal = -w_.normal;
  }

  WVector Pos(const WObject& object, int k) const { return object.vertices[w_.v[k]].pos; }

  void Start(const WObject& object, int n) {
    prev_.resize(static_cast<size_t>(n));
    next_.resize(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) {
      prev_[static_cast<size_t>(k)] = (k + n - 1) % n;
      next_[static_cast<size_t>(k)] = (k + 1) % n;
    }
    if (noted_ != nullptr) return;  // the arrays belong to the calling thread
    first_face_ = object.fnum;
    first_line_ = object.lnum;
  }

  int Prev(int k) const { return prev_[static_cast<size_t>(k)]; }
  // The remaining corner after position k. For a removed k this is the one
  // that followed it when it was removed; the clipper only asks that of the
  // corner it has just clipped.
  int Next(int k) const { return next_[static_cast<size_t>(k)]; }

  // One attempt with the polygon's own ear test: convex for the normal of
  // W, and a diagonal that crosses no side of the stored face. It gives up
  // after n - 2 candidate positions in a row without an ear.
  //
  // Every position stepped over counts as a miss, clipped corners included;
  // the ring steps over a run of clipped corners at once and counts them.
  // A candidate depends only on its three corners (the turn test) and its
  // diagonal (the side test, against the stored face): one that failed is
  // stepped over in the same way until a clip next to it gives it a new
  // corner, instead of being asked again on every round. A spiral, whose
  // few ears lie at its ends, sends the clipper round the whole ring for
  // each of them; asking every candidate again took the cube of the
  // corners. So a diagonal is asked once for each candidate that has it,
  // and counted once.
  //
  // While the index answers every diagonal exactly, the attempt stops
  // (kOverBudget) once the polygon's work passes its budget.
  Outcome Cut(WObject& object, SideCrossingIndex& sides, int n, bool answered = false) {
    Start(object, n);
    const long long piled_before = sides.PiledWork();
    if (answered) {
      if (settling_) asked_.push_back(kTryStart);
      piled_before_ = sides.AnsweredPiledWork();
    }
    int made = 0;
    int misses = 0;
    int cur = 0;
    unsettled_.Fill(n);
    for (;;) {
      if (made >= n - 2) return kCut;
      const int target = unsettled_.NextAfter(cur);
      if (target < 0) break;  // every remaining candidate is known to fail
      const int steps = (target - cur - 1 + n) % n + 1;
      if (misses + steps >= n - 2) break;  // the miss count runs out on the way
      misses += steps;
      cur = target;
      if (answered) {
        if (settling_) asked_.push_back(kChecked);
        if (sides.AnsweredPiledWork() - piled_before_ > piled_budget_) {
          piled_up_ = true;
          Undo(object);
          return kMissed;
        }
        if (!tripped_ && sides.AnsweredTouchingWork() > budget_) {
          // Where the count is not theirs, the tries with the budget may or
          // may not have started over: too costly to go on without knowing.
          if (!CountsAsWithBudget(sides)) {
            Undo(object);
            return kOverBudget;
          }
          tripped_ = true;
          if (diverged_) {  // the tries start over from here
            Undo(object);
            return kOverBudget;
          }
        }
      } else if (sides.PiledWork() - piled_before > piled_budget_) {
        piled_up_ = true;
        Undo(object);
        return kMissed;
      } else if (sides.WalkedSides() > walk_budget_ ||
                 (sides.TouchingWork() > budget_ && !sides.PassesOverTouchingSides())) {
        Undo(object);
        return kOverBudget;
      }
      const int prev = Prev(cur), next = Next(cur);
      // A reflex corner for this orientation; a degenerate one (dot 0) passes.
      const WVector t = TriangleNormal(Pos(object, prev), Pos(object, cur), Pos(object, next));
      unsettled_.Erase(cur);
      if (DotDouble(w_.normal, t) < 0.0) continue;
      if (answered) {
        const int crosses = AnswerDiagonal(sides, prev, next);
        if (crosses == kGivenUp) {
          piled_up_ = true;
          Undo(object);
          return kMissed;
        }
        if (crosses < 0) {
          Undo(object);
          return kOverBudget;
        }
        if (crosses > 0) continue;
      } else if (sides.Crosses(prev, next)) {
        continue;
      }
      Clip(object, prev, cur, next);
      unsettled_.Insert(prev);
      unsettled_.Insert(next);
      ++made;
      misses = 0;
    }
    Undo(object);
    return kMissed;
  }

  // One attempt with the ear test of a simple polygon: convex for the
  // normal of W, and no other remaining corner inside or on the triangle.
  // Every remaining corner is tried before it gives up; it stops
  // (kOverBudget) once the corners it has walked one by one, where the
  // tree could not answer, pass the polygon's walk budget.
  //
  // A candidate that missed is stepped over, counted as a miss, until it
  // could ear: a reflex one until a clip gives it a new neighbour, and one
  // that the tree found a corner in until that corner's point is gone or a
  // new neighbour comes. Asking it before would give the same miss. A
  // spiral, whose few ears lie at its ends, sent this test round the whole
  // ring for each of them. A candidate that walked the corners is asked
  // every time, as the walk counts against the budget.
  Outcome CutSimple(WObject& object, CornerTree& corners, int n) {
    Start(object, n);
    corners.Reset();
    unsettled_.Fill(n);
    alive_.Fill(n);
    clipped_.assign(static_cast<size_t>(n), 0);
    waiting_.assign(static_cast<size_t>(corners.Points()), -1);
    waits_.clear();
    int remaining = n;
    int misses = 0;
    int cur = 0;
    while (remaining > 2) {
      if (misses >= remaining || (stop_ != nullptr && stop_->load(std::memory_order_relaxed))) {
        Undo(object);
        return kMissed;
      }
      if (walked_ > walk_budget_) {
        Undo(object);
        return kOverBudget;
      }
      const int target = unsettled_.NextAfter(cur);
      const int stepped = target < 0 ? remaining : alive_.Between(cur, target) - 1;
      if (misses + stepped >= remaining) {  // the misses run out on the way
        Undo(object);
        return kMissed;
      }
      misses += stepped;
      cur = target;
      const int prev = Prev(cur), next = Next(cur);
      const WVector a = Pos(object, prev), b = Pos(object, cur), c = Pos(object, next);
      const bool convex = DotDouble(w_.normal, TriangleNormal(a, b, c)) >= 0.0;
      bool ear = convex;
      // Whether corner k lies inside or on the triangle; a corner repeating
      // one of the triangle's points does not block it.
      int blocker = -1;
      const auto blocks = [&](int k) {
        if (k == prev || k == cur || k == next) return false;
        const WVector p = Pos(object, k);
        const bool inside = !(p == a || p == b || p == c) && InsideOrOn(w_.normal, a, b, c, p);
        if (inside) blocker = k;
        return inside;
      };
      bool found = false;
      bool known = !convex;  // why it misses, if it does, stays so until a clip changes it
      if (ear && corners.FindCorner(a, b, c, blocks, &found)) {
        ear = !found;
        known = true;
      } else {
        for (int k = Next(next); ear && k != prev; k = Next(k)) {
          ++walked_;
          ear = !blocks(k);
        }
      }
      if (!ear) {
        ++misses;
        if (known) {
          unsettled_.Erase(cur);
          if (convex) Wait(cur, corners.PointOf(blocker));
        }
        // The answer depends only on the three points and on what remains:
        // the candidates that follow with all three corners on this same
        // point miss alike, and are stepped over without asking again.
        if (a == b && b == c) {
          for (int after = Next(cur); misses < remaining && Pos(object, after) == b &&
                                      Pos(object, Next(after)) == b;
               after = Next(after)) {
            cur = after;
            ++misses;
          }
        }
        continue;
      }
      Clip(object, prev, cur, next);
      corners.Remove(cur);
      alive_.Remove(cur);
      clipped_[static_cast<size_t>(cur)] = 1;
      unsettled_.Erase(cur);
      unsettled_.Insert(prev);
      unsettled_.Insert(next);
      if (!waiting_.empty()) WakeWaiting(corners.PointOf(cur));
      --remaining;
      misses = 0;
    }
    return kCut;
  }

  // Candidate k misses for a corner on point `point`, until that point is
  // gone or k's neighbours change.
  void Wait(int k, int point) {
    int& first = waiting_[static_cast<size_t>(point)];
    waits_.push_back({k, first});
    first = static_cast<int>(waits_.size()) - 1;
  }

  // A corner on `point` was clipped: the candidates waiting for it are
  // asked again (while a corner on it remains, they miss again).
  void WakeWaiting(int point) {
    int& first = waiting_[static_cast<size_t>(point)];
    for (int w = first; w >= 0; w = waits_[static_cast<size_t>(w)].second) {
      const int k = waits_[static_cast<size_t>(w)].first;
      if (!clipped_[static_cast<size_t>(k)]) unsettled_.Insert(k);
    }
    first = -1;
  }

  // The fan from the first corner: n - 2 triangles, a step each, whatever
  // the polygon's shape.
  bool CutFan(WObject& object, int f, int n) {
    Load(object.faces[f], false);
    Start(object, n);
    for (int k = 1; k + 1 < n; ++k) Clip(object, 0, k, k + 1);
    return true;
  }

  // Adds the triangle prev, cur, next with W's attributes and the diagonal
  // from prev to next, which becomes W's side after prev.
  void Clip(WObject& object, int prev, int cur, int next) {
    if (noted_ != nullptr) {
      noted_->insert(noted_->end(), {prev, cur, next});
      next_[static_cast<size_t>(prev)] = next;
      prev_[static_cast<size_t>(next)] = prev;
      return;
    }
    // The arrays were reserved, but look the records up afresh all the same.
    const int t = object.AddFace(3);
    WFace& tri = object.faces[t];
    tri.material = w_.material;
    tri.tag = w_.tag;
    tri.col = w_.col;
    tri.normal = w_.normal;
    tri.CopyCorner(0, w_, prev);
    tri.CopyCorner(1, w_, cur);
    tri.CopyCorner(2, w_, next);
    const int d = object.AddLine();
    WLine& line = object.lines[d];
    line = WLine();  // an add hands the slot out as it was
    line.v[0] = w_.v[prev];
    line.v[1] = w_.v[next];
    tri.SideLines()[2] = d;
    w_.SideLines()[prev] = d;
    next_[static_cast<size_t>(prev)] = next;
    prev_[static_cast<size_t>(next)] = prev;
  }

  // Takes away what a failed attempt made. It lies at the ends of the arrays
  // and nothing else refers to it, so this leaves what deleting it at the
  // compaction would, without growing the arrays past their reservation.
  void Undo(WObject& object) {
    if (noted_ != nullptr) {
      noted_->clear();
      return;
    }
    for (int i = first_face_; i < object.fnum; ++i) object.faces[i] = WFace();
    for (int i = first_line_; i < object.lnum; ++i) object.lines[i] = WLine();
    object.fnum = first_face_;
    object.lnum = first_line_;
  }

  WFace w_;                    // the polygon, its sides updated by the diagonals
  std::vector<int> prev_;      // per remaining corner: the remaining corners
  std::vector<int> next_;      // before and after it
  CornerSet unsettled_;        // in Cut and CutSimple: the remaining corners whose candidate is to be asked
  // In CutSimple: the remaining corners, which are clipped, and per point of
  // the corner tree the candidates that missed for a corner on it, as a
  // list through waits_ (candidate, next entry), or -1.
  CornerCount alive_;
  std::vector<char> clipped_;
  std::vector<int> waiting_;
  std::vector<std::pair<int, int>> waits_;
  int first_face_ = 0;
  int first_line_ = 0;
  long long budget_ = 0;       // of the polygon's exact cut
  long long piled_budget_ = 0;  // of the piled sides of one try
  long long walk_budget_ = 0;  // of its walks, in the fallback
  long long walked_ = 0;       // corners walked one by one, in the fallback
  int f_ = 0;                  // the face being cut
  bool tripped_ = false;       // in CutAnswered: the budget has sent the tries back
  bool diverged_ = false;      // in CutAnswered: an answer differed, before that
  bool skipped_first_ = false;  // in CutAnswered: the first try was not made
  bool settling_ = false;      // in CutAnswered: diagonals are settled, uncounted
  bool piled_up_ = false;      // a try was given up for its piled sides
  long long piled_before_ = 0;  // in CutAnswered: the count of piled sides where this try began
  FallbackAhead* ahead_ = nullptr;  // the fallback's cut made ahead, while a polygon is cut
  CountAhead* counting_ = nullptr;  // the count made ahead, while a polygon settles
  CountAhead* count_ahead_ = nullptr;  // the count that may yet be made ahead
  bool make_ahead_ = false;         // the polygon is large enough for work ahead
  bool fallback_ahead_ = false;     // the fallback's cut is being made ahead
  int n_ = 0;                       // the corners of the face being cut
  // For a cut made ahead: where its triangles are noted, instead of being
  // added to the object, which it then only reads; and when to give up.
  std::vector<int>* noted_ = nullptr;
  const std::atomic<bool>* stop_ = nullptr;
  // While settling: the diagonals asked (two corners each) and kChecked
  // where the budget was looked at, in order.
  static constexpr int kChecked = -1;
  static constexpr int kTryStart = -2;  // and where each try began
  // What AnswerDiagonal gives where the try is given up for its piled sides.
  static constexpr int kGivenUp = -2;
  std::vector<int> asked_;
};

}  // namespace

bool DiagonalCrossesSide(const WObject& object, int f, int a, int b) {
  if (f < 0 || f >= object.fnum) return false;
  const WFace& face = object.faces[f];
  const int n = face.num;
  if (a < 0 || a >= n || b < 0 || b >= n) return false;
  if (!NamesVertex(object, face.v[a]) || !NamesVertex(object, face.v[b])) return false;
  const WVector& normal = face.normal;
  const WVector pa = object.vertices[face.v[a]].pos;
  const WVector pb = object.vertices[face.v[b]].pos;
  for (int i = 0; i < n; ++i) {
    const int j = (i + 1) % n;
    if (i == a || j == a || i == b || j == b) continue;
    if (!NamesVertex(object, face.v[i]) || !NamesVertex(object, face.v[j])) continue;
    if (SegmentCrossesSide(normal, pa, pb, object.vertices[face.v[i]].pos, object.vertices[face.v[j]].pos))
      return true;
  }
  return false;
}

void TriangulateObject(WObject& object, bool keep_quads) {
  const int max = keep_quads ? 4 : 3;
  // Room for every triangle and diagonal up front, so that adding them never
  // moves the arrays: a polygon of n corners gives n - 2 of each. Without
  // that room the pass fails as an add that cannot grow would.
  long long extra = 0;
  for (int f = 0; f < object.fnum; ++f)
    if (object.faces[f].num > max) extra += object.faces[f].num - 2;
  if (extra > 0) {
    if (object.fnum + extra > INT_MAX || object.lnum + extra > INT_MAX) throw std::bad_alloc();
    if (!object.ReserveFaces(object.fnum + static_cast<int>(extra)) ||
        !object.ReserveLines(object.lnum + static_cast<int>(extra)))
      throw std::bad_alloc();
  }

  EarClipper clipper;
  const int faces = object.fnum;  // the triangles added below are not visited
  for (int f = 0; f < faces; ++f) {
    WFace& face = object.faces[f];
    const int n = face.num;
    if (n < 3) MarkDeleted(face);
    if (n <= max) continue;
    // Replaced by its triangles, or gone when it cannot be cut.
    MarkDeleted(face);
    // A corner that names no vertex has no position to cut by.
    if (AllCornersNameVertices(object, face)) clipper.CutFace(object, f, n);
  }
  object.Compact();
}

void TriangulateScene(WScene& scene, bool keep_quads) {
  for (int o = 0; o < scene.onum; ++o) TriangulateObject(scene.objects[o], keep_quads);
}
