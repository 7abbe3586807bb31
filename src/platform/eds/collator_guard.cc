// A guard against a crash in libebook (3.46, Debian 12) when an address book's service dies
// while the bridge holds a client of it: the client's proxy then reports its "locale" as
// unset, the client asks e_collator_new for a collator of no locale, which fails without
// setting the error, and the client's warning reads that error's message through a null
// pointer. The bridge's fault run met this a few times a minute while killing the address
// book service during contacts queries.
//
// This definition of e_collator_new is found before libedataserver's by every library of
// the process that calls it (the module heads its own lookup scope; a test executable heads
// the global one). For no locale it fails with an error, as the library's callers expect;
// otherwise it hands the call to the library's own.
#include <dlfcn.h>

#include <libedataserver/libedataserver.h>

extern "C" ECollator* e_collator_new(const gchar* locale, GError** error) {
  using Real = ECollator* (*)(const gchar*, GError**);
  static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "e_collator_new"));
  if (locale == nullptr || *locale == '\0' || real == nullptr) {
    g_set_error_literal(error, E_COLLATOR_ERROR, E_COLLATOR_ERROR_INVALID_LOCALE,
                        "No locale to collate by.");
    return nullptr;
  }
  return real(locale, error);
}
