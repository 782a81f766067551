// AskScanner on 32-bit Windows (see ScannerCall.h). While the scanner runs, a registration record
// on this frame heads the thread's exception chain at FS:[0]. Its handler catches every exception
// raised below it, unwinds the scanner frames with RtlUnwind (their cleanups run and their own
// records leave the chain), then puts the stack pointer back on this frame and answers Raised.
// Written in assembly so that no optimiser can move code or keep a value across the call in a
// place the recovery path does not restore.
//
// The frame while the scanner runs, from esp upwards:
//   [esp+0]   next record of the chain    } the registration record; its address is the frame
//   [esp+4]   ScannerExceptionHandler     } the handler is given, and the esp to resume with
//   [esp+8]   edi, esi, ebx, ebp          every register the caller expects kept
//   [esp+24]  return address
//   [esp+28]  path

        .intel_syntax noprefix
        .text

        .globl  _AskScanner
        .def    _AskScanner; .scl 2; .type 32; .endef
_AskScanner:
        push    ebp
        push    ebx
        push    esi
        push    edi
        call    _ArmScannerStack        // a stack overflow below stays catchable
        push    OFFSET ScannerExceptionHandler
        push    dword ptr fs:[0]
        mov     dword ptr fs:[0], esp
        push    dword ptr [esp + 28]
        call    dword ptr [__imp___ZN12CGuardHelper16VtAllowExecutionEPKw]
        add     esp, 4                  // the scanner is cdecl: the caller pops the path
        test    al, al                  // a bool comes back in al alone
        setnz   al
        movzx   eax, al                 // Denied 0, Allowed 1
LeaveFrame:
        pop     dword ptr fs:[0]        // the chain as it was before the call
        add     esp, 4
        pop     edi
        pop     esi
        pop     ebx
        pop     ebp
        ret

// EXCEPTION_DISPOSITION __cdecl ScannerExceptionHandler(EXCEPTION_RECORD* record, void* frame,
//                                                       CONTEXT* context, void* dispatcher)
        .def    ScannerExceptionHandler; .scl 3; .type 32; .endef
ScannerExceptionHandler:
        mov     eax, dword ptr [esp + 4]
        test    dword ptr [eax + 4], 6  // ExceptionFlags: EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND
        jnz     PassOn                  // an unwind passing through is not ours to stop
        push    0                       // return value: unused
        push    eax                     // the exception record
        push    0                       // target ip: on x86 RtlUnwind returns to its caller
        push    dword ptr [esp + 20]    // target frame: our record (the frame argument)
        call    _RtlUnwind@16           // FS:[0] is our record again
        mov     esp, dword ptr [esp + 8]
        mov     eax, 2                  // Raised
        jmp     LeaveFrame
PassOn:
        mov     eax, 1                  // ExceptionContinueSearch
        ret
