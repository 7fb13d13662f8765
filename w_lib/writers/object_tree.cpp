// Child lists of the object hierarchy, for writers that nest objects.
#include "w_lib/writers/w_writers.h"

ObjectTree::ObjectTree(const WScene& scene) {
  const int n = scene.onum < 0 ? 0 : scene.onum;
  start.assign(static_cast<size_t>(n) + 1, 0);
  for (int i = 0; i < n; ++i) {
    const int p = scene.objects[i].parent;
    if (p == -1)
      roots.push_back(i);
    else if (p >= 0 && p < n)
      ++start[static_cast<size_t>(p) + 1];
  }
  for (int k = 0; k < n; ++k) start[k + 1] += start[k];
  list.resize(static_cast<size_t>(start[n]));
  std::vector<int> fill(start.begin(), start.end() - 1);
  // Visiting objects in index order keeps every child list in index order.
  for (int i = 0; i < n; ++i) {
    const int p = scene.objects[i].parent;
    if (p >= 0 && p < n) list[fill[p]++] = i;
  }
}

std::vector<ObjectTree::Mark> ObjectTree::MarksOfEveryRoot(int max_depth) const {
  std::vector<Mark> marks;
  marks.reserve(2 * (start.size() - 1));
  for (int root : roots)
    VisitSubtree(
        root, 0, max_depth, [&](int o, int d) { marks.push_back({o, d, true}); },
        [&](int o, int d) { marks.push_back({o, d, false}); });
  return marks;
}
