/* Exits 0 when the kernel itself runs this 32-bit x86 program. Under an
   emulator (qemu-i386 through binfmt_misc) uname reports i686 instead of the
   64-bit machine, and the program exits 3; a kernel that refuses 32-bit code
   never starts it (the shell says 126). Built without any 32-bit library. */
struct utsname_raw {
  char field[6][65];
};

static int sys(int nr, int arg) {
  int ret;
  __asm__ volatile("int $0x80" : "=a"(ret) : "a"(nr), "b"(arg) : "memory");
  return ret;
}

void _start(void) {
  struct utsname_raw u;
  int native = sys(122 /* uname */, (int)&u) == 0 && u.field[4][0] == 'x';
  sys(1 /* exit */, native ? 0 : 3);
  for (;;) {
  }
}
