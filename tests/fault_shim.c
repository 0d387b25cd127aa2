/* An allocator shim for fault-injection tests, loaded with LD_PRELOAD: it
 * passes every allocation through to the C library, counts those made while
 * armed, and makes exactly one of them fail (returning NULL with ENOMEM).
 *
 *   quelmar_fault_arm(k)   count from now on; the k-th allocation fails
 *                          (k = 0: none fails, only count)
 *   quelmar_fault_disarm() stop; answers how many allocations were counted
 *
 * Only the thread that armed it is counted. Built by the test that uses it.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <stddef.h>
#include <string.h>

static void* (*real_malloc)(size_t);
static void* (*real_calloc)(size_t, size_t);
static void* (*real_realloc)(void*, size_t);
static int (*real_posix_memalign)(void**, size_t, size_t);
static void* (*real_aligned_alloc)(size_t, size_t);
static void* (*real_memalign)(size_t, size_t);
static void (*real_free)(void*);

static long armed_counting;    /* nonzero while counting */
static long fail_at;           /* the allocation number that fails; 0: none */
static long counted;
static pthread_t armed_thread;
static __thread int inside;    /* no counting while resolving the symbols */

/* dlsym may calloc before the real calloc is known. */
static char bootstrap[4096];
static size_t bootstrap_used;

static void resolve(void) {
  if (real_malloc) return;
  inside = 1;
  real_calloc = dlsym(RTLD_NEXT, "calloc");
  real_malloc = dlsym(RTLD_NEXT, "malloc");
  real_realloc = dlsym(RTLD_NEXT, "realloc");
  real_posix_memalign = dlsym(RTLD_NEXT, "posix_memalign");
  real_aligned_alloc = dlsym(RTLD_NEXT, "aligned_alloc");
  real_memalign = dlsym(RTLD_NEXT, "memalign");
  real_free = dlsym(RTLD_NEXT, "free");
  inside = 0;
}

/* Whether this allocation is the one to fail. */
static int should_fail(void) {
  if (!armed_counting || inside || !pthread_equal(pthread_self(), armed_thread)) return 0;
  ++counted;
  if (fail_at != 0 && counted == fail_at) {
    errno = ENOMEM;
    return 1;
  }
  return 0;
}

void quelmar_fault_arm(long k) {
  resolve();
  armed_thread = pthread_self();
  counted = 0;
  fail_at = k;
  armed_counting = 1;
}

long quelmar_fault_disarm(void) {
  armed_counting = 0;
  return counted;
}

void* malloc(size_t n) {
  resolve();
  if (should_fail()) return NULL;
  return real_malloc(n);
}

void* calloc(size_t n, size_t size) {
  if (!real_calloc) {
    if (inside) {
      /* dlsym's own allocation, before calloc is resolved */
      size_t bytes = (n * size + 15) & ~(size_t)15;
      if (bootstrap_used + bytes > sizeof bootstrap) return NULL;
      void* p = bootstrap + bootstrap_used;
      bootstrap_used += bytes;
      memset(p, 0, bytes);
      return p;
    }
    resolve();
  }
  if (should_fail()) return NULL;
  return real_calloc(n, size);
}

void* realloc(void* p, size_t n) {
  resolve();
  if (should_fail()) return NULL;
  return real_realloc(p, n);
}

int posix_memalign(void** out, size_t alignment, size_t n) {
  resolve();
  if (should_fail()) return ENOMEM;
  return real_posix_memalign(out, alignment, n);
}

void* aligned_alloc(size_t alignment, size_t n) {
  resolve();
  if (should_fail()) return NULL;
  return real_aligned_alloc(alignment, n);
}

void* memalign(size_t alignment, size_t n) {
  resolve();
  if (should_fail()) return NULL;
  return real_memalign(alignment, n);
}

void free(void* p) {
  if ((char*)p >= bootstrap && (char*)p < bootstrap + sizeof bootstrap) return;
  if (!real_free) resolve();
  real_free(p);
}
