// How tests change a tuning, a global record of sizes that shape the
// program's work without changing its result and that the program never
// changes: through a ScopedTuning, which puts the tuning back as it was.
#ifndef SRC_UTIL_SCOPED_TUNING_H_
#define SRC_UTIL_SCOPED_TUNING_H_

// Keeps *tuning as it is now and gives it back when it goes; in between,
// -> and * reach the tuning itself. Not for use while a thread reads the
// tuning.
template <typename Tuning>
class ScopedTuning {
 public:
  explicit ScopedTuning(Tuning* tuning) : tuning_(tuning), saved_(*tuning) {}
  ~ScopedTuning() { *tuning_ = saved_; }
  ScopedTuning(const ScopedTuning&) = delete;
  ScopedTuning& operator=(const ScopedTuning&) = delete;

  Tuning* operator->() const { return tuning_; }
  Tuning& operator*() const { return *tuning_; }

 private:
  Tuning* const tuning_;
  const Tuning saved_;
};

#endif  // SRC_UTIL_SCOPED_TUNING_H_
