// Copy, move and release of a value that owns memory, written once.
//
// A type that owns memory keeps what it holds in a State of plain fields
// (pointers to its blocks, counts) with two operations of its own:
//   void CopyFrom(const State& o)  fills a State that holds nothing with a
//                                  deep copy of o; when it throws part way,
//                                  what it made so far is held, so that
//                                  Release frees it;
//   void Release() noexcept        frees what it holds and leaves it holding
//                                  nothing.
// WOwned<State> gives it the value semantics: a copy is a deep copy, a move
// trades the whole state (the source then releases what the target held),
// and destruction releases. A type derived from WOwned keeps the compiler's
// own copy and move, which take these.
//
// Records of the scene model live in blocks that grow with realloc, which
// moves their bytes. A WOwned whose State is trivially copyable is safe to
// move so (its blocks lie elsewhere on the heap), and says so through
// WRelocatable; a record is checked against that with WCheckRecordFields.
#pragma once

#include <type_traits>
#include <utility>

template <class State>
struct WOwned : State {
  using WOwnedState = State;

  WOwned() = default;
  // Through the default constructor, so that a copy that runs out of memory
  // part way is released.
  WOwned(const WOwned& o) : WOwned() { State::CopyFrom(o); }
  WOwned(WOwned&& o) noexcept : State() { Trade(o); }
  WOwned& operator=(const WOwned& o) {
    if (this != &o) {
      // Released first: the old and the new copy are never held at once.
      State::Release();
      State::CopyFrom(o);
    }
    return *this;
  }
  WOwned& operator=(WOwned&& o) noexcept {
    Trade(o);
    return *this;
  }
  ~WOwned() { State::Release(); }

 private:
  void Trade(WOwned& o) noexcept { std::swap(static_cast<State&>(*this), static_cast<State&>(o)); }
};

namespace owned_detail {

template <class T, class = void>
struct IsOwnedOverPlainState : std::false_type {};
template <class T>
struct IsOwnedOverPlainState<T, std::void_t<typename T::WOwnedState>>
    : std::integral_constant<bool, std::is_base_of<WOwned<typename T::WOwnedState>, T>::value &&
                                       std::is_trivially_copyable<typename T::WOwnedState>::value &&
                                       sizeof(T) == sizeof(WOwned<typename T::WOwnedState>)> {};

}  // namespace owned_detail

// Whether a field's bytes may be moved to another address (by realloc) and
// the field used there: plain data, or a WOwned over a plain state, or an
// array of either. A raw pointer is plain data but is refused here: a record
// that owned a block through one would be copied without it.
template <class T>
struct WRelocatable
    : std::integral_constant<bool,
                             !std::is_pointer<std::remove_all_extents_t<T>>::value &&
                                 (std::is_trivially_copyable<std::remove_all_extents_t<T>>::value ||
                                  owned_detail::IsOwnedOverPlainState<std::remove_all_extents_t<T>>::value)> {};

// --- The check over a record's fields --------------------------------------
//
// C++17 cannot list a class's fields, so each record that is not plain data
// lists them once, after its definition, with W_CHECK_RECORD (or, for a
// record derived from another, W_CHECK_DERIVED_RECORD). The check then
// holds at compile time that
//   - every listed field is WRelocatable, and the base, if any, is too or is
//     a checked record itself;
//   - the list is complete: a class of the listed fields, in the same order
//     over the same base, has the record's size. A field left out of the
//     list (a std::string, a std::vector, a pointer) makes the record larger
//     and fails the check.
// A record may live in a record array (record_array.h) only when it is
// plain data or checked so: WMayMoveBytes.

template <class R>
struct WFieldsChecked : std::false_type {};

template <class R>
struct WMayMoveBytes : std::integral_constant<bool, WRelocatable<R>::value || WFieldsChecked<R>::value> {};

template <class... Fields>
struct WAllRelocatable : std::integral_constant<bool, (WRelocatable<Fields>::value && ...)> {};

#define W_RECORD_MIRROR_FIELD(R, field) std::remove_cv_t<decltype(R::field)> field;
#define W_RECORD_FIELD_TYPE(R, field) , decltype(R::field)

#define W_FOR_EACH_1(M, R, x) M(R, x)
#define W_FOR_EACH_2(M, R, x, ...) M(R, x) W_FOR_EACH_1(M, R, __VA_ARGS__)
#define W_FOR_EACH_3(M, R, x, ...) M(R, x) W_FOR_EACH_2(M, R, __VA_ARGS__)
#define W_FOR_EACH_4(M, R, x, ...) M(R, x) W_FOR_EACH_3(M, R, __VA_ARGS__)
#define W_FOR_EACH_5(M, R, x, ...) M(R, x) W_FOR_EACH_4(M, R, __VA_ARGS__)
#define W_FOR_EACH_6(M, R, x, ...) M(R, x) W_FOR_EACH_5(M, R, __VA_ARGS__)
#define W_FOR_EACH_7(M, R, x, ...) M(R, x) W_FOR_EACH_6(M, R, __VA_ARGS__)
#define W_FOR_EACH_8(M, R, x, ...) M(R, x) W_FOR_EACH_7(M, R, __VA_ARGS__)
#define W_FOR_EACH_9(M, R, x, ...) M(R, x) W_FOR_EACH_8(M, R, __VA_ARGS__)
#define W_FOR_EACH_10(M, R, x, ...) M(R, x) W_FOR_EACH_9(M, R, __VA_ARGS__)
#define W_FOR_EACH_11(M, R, x, ...) M(R, x) W_FOR_EACH_10(M, R, __VA_ARGS__)
#define W_FOR_EACH_12(M, R, x, ...) M(R, x) W_FOR_EACH_11(M, R, __VA_ARGS__)
#define W_FOR_EACH_PICK(_1, _2, _3, _4, _5, _6, _7, _8, _9, _10, _11, _12, NAME, ...) NAME
#define W_FOR_EACH(M, R, ...)                                                                              \
  W_FOR_EACH_PICK(__VA_ARGS__, W_FOR_EACH_12, W_FOR_EACH_11, W_FOR_EACH_10, W_FOR_EACH_9, W_FOR_EACH_8,    \
                  W_FOR_EACH_7, W_FOR_EACH_6, W_FOR_EACH_5, W_FOR_EACH_4, W_FOR_EACH_3, W_FOR_EACH_2,      \
                  W_FOR_EACH_1)                                                                            \
  (M, R, __VA_ARGS__)

#define W_CHECK_RECORD_FIELDS(R)                                                                        \
  static_assert(sizeof(WRecordFields_##R) == sizeof(R), #R ": a field is missing from its W_CHECK list"); \
  template <>                                                                                           \
  struct WFieldsChecked<R> : std::true_type {}

// Lists the fields of record R, in order (at most 12).
#define W_CHECK_RECORD(R, ...)                                                                            \
  struct WRecordFields_##R {                                                                              \
    W_FOR_EACH(W_RECORD_MIRROR_FIELD, R, __VA_ARGS__)                                                     \
  };                                                                                                      \
  static_assert(WAllRelocatable<char W_FOR_EACH(W_RECORD_FIELD_TYPE, R, __VA_ARGS__)>::value,             \
                #R ": a field owns memory other than through a WOwned over plain fields");               \
  W_CHECK_RECORD_FIELDS(R)

// Lists the fields that record R adds to its one base, in order.
#define W_CHECK_DERIVED_RECORD(R, Base, ...)                                                              \
  static_assert(WMayMoveBytes<Base>::value, #R ": its base is neither relocatable nor checked");          \
  struct WRecordFields_##R : Base {                                                                       \
    W_FOR_EACH(W_RECORD_MIRROR_FIELD, R, __VA_ARGS__)                                                     \
  };                                                                                                      \
  static_assert(WAllRelocatable<char W_FOR_EACH(W_RECORD_FIELD_TYPE, R, __VA_ARGS__)>::value,             \
                #R ": a field owns memory other than through a WOwned over plain fields");               \
  W_CHECK_RECORD_FIELDS(R)

// Record R derives from a checked record and adds no field.
#define W_CHECK_RECORD_ADDS_NOTHING(R, Base)                                                              \
  static_assert(WFieldsChecked<Base>::value && sizeof(R) == sizeof(Base), #R ": adds a field to " #Base); \
  template <>                                                                                           \
  struct WFieldsChecked<R> : std::true_type {}
