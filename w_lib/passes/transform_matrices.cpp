// Object matrices: each object's local matrix from its transform, and its
// world matrix composed with those of its parents.
//
// The matrices are defined by a recursive update: updating object x with
// budget d sets x's local and world matrix to L(x), its own scale x rotation
// x translation; then, when d > 0 and x has a parent, it updates the parent
// with budget d - 1 and multiplies x's world matrix by the parent's.
// UpdateMatrices updates every object in order with the object count N as
// budget. The same matrices are worked out here without recursion:
//
// - Let G(x, d) be the world matrix that updating x with budget d leaves in
//   x. G(x, d) = L(x) when d is 0 or x has no parent; otherwise
//   G(x, d) = B x G(parent, d - 1), where B is what x's world matrix holds
//   when the parent's update returns: L(x), unless x lies on a parent cycle
//   of length c <= d, whose inner update of x left G(x, d - c) there.
// - One update writes every object on the parent chain, the outermost write
//   last. So at the end an object x holds G(x, N - t), with t its first
//   distance on the chain of the last object (highest index) that reaches it.
// - On a chain that ends at a root the budget always reaches the root, and
//   G(x, d) = L(x) x world(parent) whatever d: computed once per object.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

#include "w_lib/w_scene.h"

namespace {

// A parent index outside the object list counts as no parent.
int ParentOf(const WScene& scene, const WObject& object) {
  return object.parent >= 0 && object.parent < scene.onum ? object.parent : -1;
}

// G along one parent chain: the chain from a start object, followed for at
// most a budget of steps; a cycle in it repeats to the end of the budget.
class ChainEvaluator {
 public:
  explicit ChainEvaluator(const WScene& scene)
      : scene_(scene), seen_at_(static_cast<size_t>(scene.onum), -1) {}

  // Follows the chain from object x; afterwards chain() lists its distinct
  // objects in order of first appearance. Needs the budget at x.
  void Walk(int x, unsigned budget) {
    chain_.clear();
    cycle_start_ = 0;
    cycle_length_ = 0;
    for (int y = x;;) {
      const int s = static_cast<int>(chain_.size());
      seen_at_[static_cast<size_t>(y)] = s;
      chain_.push_back(y);
      if (static_cast<unsigned>(s) == budget) break;
      y = ParentOf(scene_, scene_.objects[y]);
      if (y == -1) break;
      if (seen_at_[static_cast<size_t>(y)] != -1) {
        cycle_start_ = seen_at_[static_cast<size_t>(y)];
        cycle_length_ = static_cast<int>(chain_.size()) - cycle_start_;
        break;
      }
    }
    for (int y : chain_) seen_at_[static_cast<size_t>(y)] = -1;
    last_ = cycle_length_ > 0 ? static_cast<long long>(budget) : static_cast<long long>(chain_.size()) - 1;
  }

  const std::vector<int>& chain() const { return chain_; }

  // G at the first `keep` positions of the walked chain, from the local
  // matrices of its objects: out[s] = G(object at s, budget - s).
  void Evaluate(size_t keep, std::vector<WMatrix>& out) {
    const long long c = cycle_length_;
    const size_t ring_size = static_cast<size_t>(c) + 1;
    ring_.resize(ring_size);
    out.resize(std::min(keep, static_cast<size_t>(last_) + 1));
    // H(s) = G(object at s, budget - s), from the end of the chain back;
    // the ring keeps H(s + 1) .. H(s + c + 1).
    WMatrix h = Local(last_);
    ring_[static_cast<size_t>(last_ % static_cast<long long>(ring_size))] = h;
    if (static_cast<size_t>(last_) < out.size()) out[static_cast<size_t>(last_)] = h;
    for (long long s = last_ - 1; s >= 0; --s) {
      const bool inner = c > 0 && s >= cycle_start_ && s + c <= last_;
      const WMatrix& base = inner ? ring_[static_cast<size_t>((s + c) % static_cast<long long>(ring_size))] : Local(s);
      h = Multiply(base, h);
      ring_[static_cast<size_t>(s % static_cast<long long>(ring_size))] = h;
      if (static_cast<size_t>(s) < out.size()) out[static_cast<size_t>(s)] = h;
    }
  }

 private:
  int At(long long s) const {
    if (s < static_cast<long long>(chain_.size())) return chain_[static_cast<size_t>(s)];
    return chain_[static_cast<size_t>(cycle_start_ + (s - cycle_start_) % cycle_length_)];
  }
  const WMatrix& Local(long long s) const { return scene_.objects[At(s)].transform.local_matrix; }

  const WScene& scene_;
  std::vector<int> seen_at_;  // chain position of each object, -1 outside it
  std::vector<int> chain_;
  std::vector<WMatrix> ring_;
  int cycle_start_ = 0;
  int cycle_length_ = 0;  // 0: the chain ends within the budget
  long long last_ = 0;    // last chain position, where the budget ends
};

}  // namespace

WMatrix LocalMatrix(const WTransform& t) {
  WMatrix m;
  m.Scale(t.scale);
  m.Rotate(t.rotate, kRotateZXY);
  m.Translate(t.translate);
  return m;
}

void UpdateObjectMatrix(WScene& scene, WObject& object, unsigned depth) {
  // The whole object list is enough budget to follow every chain that ends
  // at a root; a larger one only goes round a parent cycle longer.
  const unsigned budget = std::min(depth, static_cast<unsigned>(scene.onum));
  object.transform.local_matrix = LocalMatrix(object.transform);
  object.transform.world_matrix = object.transform.local_matrix;
  // The object may or may not be one of the scene's (std::less orders any
  // two pointers).
  const std::less<const WObject*> before;
  const bool listed = scene.onum > 0 && !before(&object, scene.objects) && before(&object, scene.objects + scene.onum);
  int start = listed ? static_cast<int>(&object - scene.objects) : ParentOf(scene, object);
  unsigned start_budget = budget;
  if (!listed) {
    if (budget == 0 || start == -1) return;
    start_budget = budget - 1;
  }

  ChainEvaluator chain(scene);
  chain.Walk(start, start_budget);
  for (int y : chain.chain()) scene.objects[y].transform.local_matrix = LocalMatrix(scene.objects[y].transform);
  std::vector<WMatrix> g;
  chain.Evaluate(chain.chain().size(), g);
  // Each object keeps the value of its first place on the chain, the
  // outermost (last) write of the recursion.
  for (size_t s = 0; s < g.size(); ++s) scene.objects[chain.chain()[s]].transform.world_matrix = g[s];
  if (!listed) object.transform.world_matrix = Multiply(object.transform.local_matrix, g[0]);
}

void UpdateMatrices(WScene& scene) {
  const int n = scene.onum;
  if (n <= 0) return;
  const size_t count = static_cast<size_t>(n);
  std::vector<int> parent(count);
  for (int x = 0; x < n; ++x) {
    WTransform& t = scene.objects[x].transform;
    t.local_matrix = LocalMatrix(t);
    parent[static_cast<size_t>(x)] = ParentOf(scene, scene.objects[x]);
  }

  // For each object, the last object whose chain reaches it (walks go from
  // the highest index down, each stopping at what an earlier walk marked),
  // its distance there, and whether its chain ends at a root.
  struct Cycle {
    int entry;
    int distance;  // of the entry on its owner's chain
    int length;
  };
  std::vector<int> owner(count, -1), distance(count, 0), cycle_length(count, 0);
  std::vector<char> cyclic(count, 0), done(count, 0);
  std::vector<Cycle> cycles;
  std::vector<int> path;
  for (int i = n - 1; i >= 0; --i) {
    if (owner[static_cast<size_t>(i)] != -1) continue;
    path.clear();
    int y = i;
    for (int t = 0; y != -1 && owner[static_cast<size_t>(y)] == -1; ++t) {
      owner[static_cast<size_t>(y)] = i;
      distance[static_cast<size_t>(y)] = t;
      path.push_back(y);
      y = parent[static_cast<size_t>(y)];
    }
    char in_cycle = 0;
    if (y != -1 && owner[static_cast<size_t>(y)] != i) {
      in_cycle = cyclic[static_cast<size_t>(y)];
    } else if (y != -1) {
      in_cycle = 1;
      const int q = distance[static_cast<size_t>(y)];
      const int length = static_cast<int>(path.size()) - q;
      for (size_t j = static_cast<size_t>(q); j < path.size(); ++j) cycle_length[static_cast<size_t>(path[j])] = length;
      cycles.push_back(Cycle{y, q, length});
    }
    for (int z : path) cyclic[static_cast<size_t>(z)] = in_cycle;
  }
  const auto budget_of = [&](int x) { return static_cast<unsigned>(n - distance[static_cast<size_t>(x)]); };
  const auto world = [&](int x) -> WMatrix& { return scene.objects[x].transform.world_matrix; };
  const auto local = [&](int x) -> const WMatrix& { return scene.objects[x].transform.local_matrix; };

  // Chains that end at a root: each world matrix once, parents first.
  for (int x = 0; x < n; ++x) {
    if (cyclic[static_cast<size_t>(x)]) continue;
    path.clear();
    for (int z = x; z != -1 && !done[static_cast<size_t>(z)]; z = parent[static_cast<size_t>(z)]) path.push_back(z);
    for (size_t j = path.size(); j-- > 0;) {
      const int z = path[j];
      const int p = parent[static_cast<size_t>(z)];
      world(z) = p == -1 ? local(z) : Multiply(local(z), world(p));
      done[static_cast<size_t>(z)] = 1;
    }
  }
  if (cycles.empty()) return;

  // Parent cycles: one walk from where the owner's chain enters a cycle
  // gives every member, their budgets falling by one along the cycle.
  ChainEvaluator chain(scene);
  std::vector<WMatrix> g;
  for (const Cycle& c : cycles) {
    chain.Walk(c.entry, static_cast<unsigned>(n - c.distance));
    chain.Evaluate(static_cast<size_t>(c.length), g);
    for (int s = 0; s < c.length; ++s) {
      const int member = chain.chain()[static_cast<size_t>(s)];
      world(member) = g[static_cast<size_t>(s)];
      done[static_cast<size_t>(member)] = 1;
    }
  }

  // Chains that lead into a cycle. An object there needs its parent's G at
  // one budget less than its own; that is the parent's own result when they
  // share their owner, and is worked out (once per parent and budget)
  // otherwise.
  std::unordered_map<uint64_t, WMatrix> parent_values;
  for (int x = 0; x < n; ++x) {
    path.clear();
    for (int z = x; !done[static_cast<size_t>(z)]; z = parent[static_cast<size_t>(z)]) path.push_back(z);
    for (size_t j = path.size(); j-- > 0;) {
      const int z = path[j];
      const int p = parent[static_cast<size_t>(z)];
      const unsigned need = budget_of(z) - 1;
      if (budget_of(p) == need) {
        world(z) = Multiply(local(z), world(p));
      } else {
        const uint64_t key = (static_cast<uint64_t>(p) << 32) | need;
        auto it = parent_values.find(key);
        if (it == parent_values.end()) {
          chain.Walk(p, need);
          chain.Evaluate(1, g);
          it = parent_values.emplace(key, g[0]).first;
        }
        world(z) = Multiply(local(z), it->second);
      }
      done[static_cast<size_t>(z)] = 1;
    }
  }
}
