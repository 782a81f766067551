// int ProbeScannerCall(const WCHAR* path): calls AskScanner(path) with every register the caller
// expects kept (ebx, esi, edi, ebp) holding probeLoaded[0..3], then stores what they hold after
// it in probeSeen[0..3], and the stack pointer before the call and after it (with the argument
// popped) in probeSeen[4] and probeSeen[5]. Returns AskScanner's answer. Its own caller's
// registers and stack pointer are put back whatever AskScanner did to them.

        .intel_syntax noprefix
        .text
        .globl  _ProbeScannerCall
        .def    _ProbeScannerCall; .scl 2; .type 32; .endef
_ProbeScannerCall:
        push    ebp
        push    ebx
        push    esi
        push    edi
        mov     dword ptr [callerEsp], esp
        mov     eax, dword ptr [esp + 20]
        mov     ebx, dword ptr [_probeLoaded]
        mov     esi, dword ptr [_probeLoaded + 4]
        mov     edi, dword ptr [_probeLoaded + 8]
        mov     ebp, dword ptr [_probeLoaded + 12]
        mov     dword ptr [_probeSeen + 16], esp
        push    eax
        call    _AskScanner
        add     esp, 4
        mov     dword ptr [_probeSeen], ebx
        mov     dword ptr [_probeSeen + 4], esi
        mov     dword ptr [_probeSeen + 8], edi
        mov     dword ptr [_probeSeen + 12], ebp
        mov     dword ptr [_probeSeen + 20], esp
        mov     esp, dword ptr [callerEsp]
        pop     edi
        pop     esi
        pop     ebx
        pop     ebp
        ret

        .bss
        .p2align 2
callerEsp:
        .space  4
