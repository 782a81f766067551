# uintptr_t VantorCheckCall(const void* function, int count, const uintptr_t* arguments,
#                           int* bytesPopped), __cdecl.
# Pushes the arguments, calls, and measures the stack after the call: a __cdecl callee leaves
# its arguments for the caller to remove, a __stdcall one has removed them (ret N). The stack is
# then put back whatever the callee did.
        .text
        .globl  _VantorCheckCall
        .def    _VantorCheckCall; .scl 2; .type 32; .endef
_VantorCheckCall:
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %esi
        pushl   %edi
        pushl   %ebx
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
        popl    %ebx
        popl    %edi
        popl    %esi
        popl    %ebp
        ret

# void* VantorExceptionChain(void) and void VantorSetExceptionChain(void* head): the head of the
# thread's chain of exception records, FS:[0].
        .globl  _VantorExceptionChain
        .def    _VantorExceptionChain; .scl 2; .type 32; .endef
_VantorExceptionChain:
        movl    %fs:0, %eax
        ret
        .globl  _VantorSetExceptionChain
        .def    _VantorSetExceptionChain; .scl 2; .type 32; .endef
_VantorSetExceptionChain:
        movl    4(%esp), %eax
        movl    %eax, %fs:0
        ret
