// Runs a command as if the kernel could not execute 32-bit x86 programs: a
// seccomp filter, inherited by every child, kills any process that makes a
// system call through the 32-bit ABI. That is how the Windows suite proves its
// qemu path on a host that could run Wine's 32-bit loader natively: a process
// that slipped past qemu dies here as it would fail on a host without 32-bit
// support.
//   without-ia32 COMMAND [ARGUMENT...]
#include <errno.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/prctl.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s COMMAND [ARGUMENT...]\n", argv[0]);
        return 2;
    }
    struct sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
    };
    struct sock_fprog program = {
        .len = sizeof filter / sizeof filter[0],
        .filter = filter,
    };
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
        fprintf(stderr, "without-ia32: cannot install the filter: %s\n", strerror(errno));
        return 1;
    }
    execvp(argv[1], argv + 1);
    fprintf(stderr, "without-ia32: %s: %s\n", argv[1], strerror(errno));
    return 127;
}
