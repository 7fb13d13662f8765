// Inputs worked on side by side (--jobs), their lines shown whole and in the
// order of the inputs, as one job at a time would show them.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

// The most jobs of one run: more only wait for the cores, and each holds a
// document and its output's files.
constexpr size_t kMostJobs = 64;

// The jobs of a run: those asked for (0: the machine's cores, up to
// kMostJobs), at most one per input and at least one.
size_t JobCount(size_t asked, size_t inputs);

// Runs work(i) for each i in [0, count) on `jobs` threads, taking inputs in
// order, each input's lines kept apart (KeptMessages) while it is worked on.
// On the calling thread, as soon as every earlier input has been shown, it
// shows input i's lines and then calls show(i). An input waits before its
// work for the inputs that after(i) names (earlier ones, whose outcome it
// depends on); after may be empty. With one job everything runs on the
// calling thread, each work(i) followed by its show(i), its lines printed
// as they come.
//
// While jobs run side by side, the threads that one input's work may use
// (VELLMAR_THREADS, read by the tool, the host and the plug-in) are shared
// out, so that the jobs together use no more than the run would use for one
// input; and an interrupt waits for the commits under way in the folders of
// the outputs (InterruptedJobsWait). An exception from work(i) ends the run
// once the inputs begun have ended, and is passed on.
void RunJobsInOrder(size_t count, size_t jobs, const std::function<void(size_t)>& work,
                    const std::function<void(size_t)>& show,
                    const std::function<std::vector<size_t>(size_t)>& after = {});
