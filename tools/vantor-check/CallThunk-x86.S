# uintptr_t VantorCheckCall(const void* function, int count, const uintptr_t* arguments,
#                           int* bytesPopped, unsigned long* raised), __cdecl.
# Pushes the arguments, calls, and measures the stack after the call: a __cdecl callee leaves
# its arguments for the caller to remove, a __stdcall one has removed them (ret N). The stack is
# then put back whatever the callee did.
# While the function runs, a registration record on this frame heads the thread's exception
# chain at FS:[0]: its handler stores the exception's code in *raised, unwinds the function's
# frames (their records leave the chain) and returns 0 from here, as vantor.dll's own frame does.
#
# The frame, from the record upwards:
#   +0   next record of the chain, +4 CheckHandler    the registration record
#   +8   ebx, edi, esi, ebp                           kept for the caller
#   +24  return address, then the five arguments (+28 ... +44)
        .text
        .globl  _VantorCheckCall
        .def    _VantorCheckCall; .scl 2; .type 32; .endef
_VantorCheckCall:
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %esi
        pushl   %edi
        pushl   %ebx
        pushl   $CheckHandler
        pushl   %fs:0
        movl    %esp, %fs:0
        movl    %esp, %esi              # the stack before the arguments
        movl    12(%ebp), %ecx          # count
        movl    16(%ebp), %edx          # arguments, pushed last to first
1:      testl   %ecx, %ecx
        jz      2f
        pushl   -4(%edx,%ecx,4)
        decl    %ecx
        jmp     1b
2:      call    *8(%ebp)
        movl    %esi, %ecx
        subl    %esp, %ecx              # argument bytes still on the stack
        movl    12(%ebp), %edx
        shll    $2, %edx
        subl    %ecx, %edx              # argument bytes the callee removed
        movl    20(%ebp), %ecx
        movl    %edx, (%ecx)
        movl    %esi, %esp
LeaveFrame:
        popl    %fs:0                   # the chain as it was before the call
        addl    $4, %esp
        popl    %ebx
        popl    %edi
        popl    %esi
        popl    %ebp
        ret

# EXCEPTION_DISPOSITION __cdecl CheckHandler(EXCEPTION_RECORD* record, void* frame,
#                                            CONTEXT* context, void* dispatcher)
        .def    CheckHandler; .scl 3; .type 32; .endef
CheckHandler:
        movl    4(%esp), %eax
        testl   $6, 4(%eax)             # EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND: pass on
        jnz     3f
        movl    8(%esp), %ecx
        movl    44(%ecx), %edx          # raised
        movl    (%eax), %eax            # ExceptionCode
        testl   %eax, %eax
        jnz     4f
        incl    %eax                    # a code of 0 is still an exception
4:      movl    %eax, (%edx)
        movl    40(%ecx), %edx          # bytesPopped: nothing measured
        movl    $0, (%edx)
        pushl   $0                      # return value: unused
        pushl   4+4(%esp)               # the exception record
        pushl   $0                      # target ip: on x86 RtlUnwind returns to its caller
        pushl   12+8(%esp)              # target frame: our record
        call    _RtlUnwind@16           # FS:[0] is our record again
        movl    8(%esp), %esp
        xorl    %eax, %eax
        jmp     LeaveFrame
3:      movl    $1, %eax                # ExceptionContinueSearch
        ret
