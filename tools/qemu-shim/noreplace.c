/* Preloaded into 32-bit Wine when it runs under qemu-user 7.2, which treats
   MAP_FIXED_NOREPLACE as a plain hint. Wine reserves its address space with
   that flag at start-up; given other addresses it splits and retries its
   reservations tens of thousands of times. Here the flag means what the
   kernel makes it mean: the exact address or EEXIST. */
typedef unsigned int size_t;
#define MAP_FIXED 0x10
#define MAP_FIXED_NOREPLACE 0x100000
#define EEXIST 17
#define EINVAL 22
extern int *__errno_location(void);
long raw_mmap2(void *a, size_t l, int p, int f, int fd, unsigned long pgoff);
long raw_munmap(void *a, size_t l);
__asm__(".text\n.globl raw_mmap2\n.hidden raw_mmap2\nraw_mmap2:\n"
 "push %ebp\npush %ebx\npush %esi\npush %edi\n"
 "mov 20(%esp),%ebx\nmov 24(%esp),%ecx\nmov 28(%esp),%edx\nmov 32(%esp),%esi\nmov 36(%esp),%edi\nmov 40(%esp),%ebp\n"
 "mov $192,%eax\nint $0x80\npop %edi\npop %esi\npop %ebx\npop %ebp\nret\n"
 ".globl raw_munmap\n.hidden raw_munmap\nraw_munmap:\npush %ebx\nmov 8(%esp),%ebx\nmov 12(%esp),%ecx\nmov $91,%eax\nint $0x80\npop %ebx\nret\n");

static void *do_mmap(void *addr, size_t len, int prot, int flags, int fd, unsigned long long off)
{
    long r;
    int noreplace = (flags & MAP_FIXED_NOREPLACE) && !(flags & MAP_FIXED);
    if (off & 0xfff) { *__errno_location() = EINVAL; return (void *)-1; }
    if (noreplace) flags &= ~MAP_FIXED_NOREPLACE;
    r = raw_mmap2(addr, len, prot, flags, fd, (unsigned long)(off >> 12));
    if ((unsigned long)r > 0xfffff000UL) { *__errno_location() = -r; return (void *)-1; }
    if (noreplace && (void *)r != addr)
    {
        raw_munmap((void *)r, len);
        *__errno_location() = EEXIST;
        return (void *)-1;
    }
    return (void *)r;
}
__attribute__((visibility("default"))) void *mmap64(void *a, size_t l, int p, int f, int fd, long long off) { return do_mmap(a, l, p, f, fd, off); }
__attribute__((visibility("default"))) void *mmap(void *a, size_t l, int p, int f, int fd, long off) { return do_mmap(a, l, p, f, fd, (unsigned long long)(unsigned long)off); }
