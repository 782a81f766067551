// int ProbeScannerCall(const WCHAR* path): calls AskScanner(path) with every general register the
// caller expects kept (rbx, rbp, rdi, rsi, r12-r15) holding probeLoaded[0..7], then stores what
// they hold after it in probeSeen[0..7], and the stack pointer before the call and after it in
// probeSeen[8] and probeSeen[9]. Returns AskScanner's answer. Its own caller's registers and
// stack pointer are put back whatever AskScanner did to them.

        .intel_syntax noprefix
        .text
        .globl  ProbeScannerCall
        .def    ProbeScannerCall; .scl 2; .type 32; .endef
        .seh_proc ProbeScannerCall
ProbeScannerCall:
        push    rbx
        .seh_pushreg rbx
        push    rbp
        .seh_pushreg rbp
        push    rdi
        .seh_pushreg rdi
        push    rsi
        .seh_pushreg rsi
        push    r12
        .seh_pushreg r12
        push    r13
        .seh_pushreg r13
        push    r14
        .seh_pushreg r14
        push    r15
        .seh_pushreg r15
        sub     rsp, 40                 // the callee's home area, rsp on a 16-byte boundary
        .seh_stackalloc 40
        .seh_endprologue
        mov     qword ptr [rip + callerRsp], rsp
        lea     rax, [rip + probeLoaded]
        mov     rbx, qword ptr [rax]
        mov     rbp, qword ptr [rax + 8]
        mov     rdi, qword ptr [rax + 16]
        mov     rsi, qword ptr [rax + 24]
        mov     r12, qword ptr [rax + 32]
        mov     r13, qword ptr [rax + 40]
        mov     r14, qword ptr [rax + 48]
        mov     r15, qword ptr [rax + 56]
        mov     qword ptr [rip + probeSeen + 64], rsp
        call    AskScanner
        mov     qword ptr [rip + probeSeen], rbx
        mov     qword ptr [rip + probeSeen + 8], rbp
        mov     qword ptr [rip + probeSeen + 16], rdi
        mov     qword ptr [rip + probeSeen + 24], rsi
        mov     qword ptr [rip + probeSeen + 32], r12
        mov     qword ptr [rip + probeSeen + 40], r13
        mov     qword ptr [rip + probeSeen + 48], r14
        mov     qword ptr [rip + probeSeen + 56], r15
        mov     qword ptr [rip + probeSeen + 72], rsp
        mov     rsp, qword ptr [rip + callerRsp]
        add     rsp, 40
        pop     r15
        pop     r14
        pop     r13
        pop     r12
        pop     rsi
        pop     rdi
        pop     rbp
        pop     rbx
        ret
        .seh_endproc

        .bss
        .p2align 3
callerRsp:
        .space  8
