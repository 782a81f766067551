// AskScanner on x64 Windows (see ScannerCall.h). The function's unwind information names
// ScannerExceptionHandler (ScannerCall-x64.cpp) for every exception raised below it. The handler
// unwinds the scanner frames with RtlUnwindEx, which runs their cleanups and restores every
// non-volatile register, and resumes at AskScannerRaised with the stack pointer of this frame.

        .intel_syntax noprefix
        .text

        .globl  AskScanner
        .def    AskScanner; .scl 2; .type 32; .endef
        .seh_proc AskScanner
AskScanner:
        sub     rsp, 40                 // the callee home area (32), the handler slot at
        .seh_stackalloc 40              // [rsp+32], and rsp back on a 16-byte boundary
        .seh_handler ScannerExceptionHandler, @except
        .seh_endprologue
        mov     qword ptr [rsp + 48], rcx   // the path, in our caller's home slot for it
        call    ArmScannerStack         // a stack overflow below stays catchable
        mov     rcx, qword ptr [rsp + 48]
        call    qword ptr [rip + __imp__ZN12CGuardHelper16VtAllowExecutionEPKw]
        test    al, al                  // a bool comes back in al alone
        setnz   al
        movzx   eax, al                 // Denied 0, Allowed 1
        add     rsp, 40
        ret

        .globl  AskScannerRaised
AskScannerRaised:
        mov     rcx, qword ptr [rsp + 32]
        test    rcx, rcx                // a GCC exception caught on the way goes back to its
        jz      1f                      // own runtime, which destroys and frees it
        call    _Unwind_DeleteException
1:      mov     eax, 2                  // Raised
        add     rsp, 40
        ret
        .seh_endproc
