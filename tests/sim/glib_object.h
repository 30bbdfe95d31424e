// Owners for what libmsi hands out: GObject references, GError records and
// g_malloc'd strings, each released exactly once. Included by the sources
// of the simulated machine that talk to libmsi, never by tests.
#ifndef SETUP_TESTS_SIM_GLIB_OBJECT_H
#define SETUP_TESTS_SIM_GLIB_OBJECT_H

#include <glib-object.h>

#include <memory>

namespace setup::sim {

// Drops one GObject reference.
struct GObjectUnref {
  void operator()(gpointer object) const noexcept { g_object_unref(object); }
};

// Owns one reference to a GObject (a LibmsiDatabase, LibmsiQuery, ...).
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

// Frees a g_malloc'd block.
struct GFree {
  void operator()(gpointer block) const noexcept { g_free(block); }
};

// Owns a string libmsi returned for the caller to free.
using GStringPtr = std::unique_ptr<gchar, GFree>;

// Receives the error of one libmsi call and frees it.
class GErrorSlot {
 public:
  GErrorSlot() = default;
  ~GErrorSlot() { Clear(); }
  GErrorSlot(const GErrorSlot&) = delete;
  GErrorSlot& operator=(const GErrorSlot&) = delete;

  // The out-parameter for the call; an error held from before is freed.
  GError** Out() noexcept {
    Clear();
    return &error_;
  }
  // The error the call reported, or null.
  const GError* Get() const noexcept { return error_; }

 private:
  void Clear() noexcept { g_clear_error(&error_); }

  GError* error_ = nullptr;
};

}  // namespace setup::sim

#endif  // SETUP_TESTS_SIM_GLIB_OBJECT_H
