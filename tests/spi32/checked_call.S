/* spi32_call_raw(fn, args, count): calls the stdcall function fn with
 * count 32-bit arguments, leaving in spi32_last_call what the call left
 * behind: esp before the arguments were pushed and after the return, the
 * callee-saved registers (loaded with known values before the call) and the
 * flags. A stdcall callee pops its own arguments, so the two esp values must
 * be equal. Whatever the callee did, esp is restored before returning here.
 *
 * Windows promises a callee only 4-byte stack alignment, so the call is made
 * with esp 8 bytes past a 16-byte boundary: code that assumes more faults
 * here as it would under some Windows hosts. */
    .text
    .globl spi32_call_raw
    .type spi32_call_raw, @function
spi32_call_raw:
    pushl %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 20(%esp), %eax            /* fn */
    movl 24(%esp), %edx            /* args */
    movl 28(%esp), %ecx            /* count */
    movl %esp, spi32_saved_esp
    leal 0(,%ecx,4), %esi          /* argument bytes */
    movl %esp, %edi
    subl %esi, %edi
    subl $64, %edi
    andl $-16, %edi
    orl $8, %edi                   /* esp at the call */
    addl %esi, %edi
    movl %edi, %esp
    movl %esp, spi32_last_call     /* esp_before */
1:  testl %ecx, %ecx
    jz 2f
    pushl -4(%edx,%ecx,4)          /* the last argument first */
    decl %ecx
    jmp 1b
2:  movl $0xB0B0B0B0, %ebx
    movl $0x51515151, %esi
    movl $0xD1D1D1D1, %edi
    movl $0xEBEBEBEB, %ebp
    call *%eax
    movl %esp, spi32_last_call+4   /* esp_after */
    movl %ebx, spi32_last_call+8
    movl %esi, spi32_last_call+12
    movl %edi, spi32_last_call+16
    movl %ebp, spi32_last_call+20
    movl spi32_saved_esp, %esp
    pushfl
    popl spi32_last_call+24        /* eflags, for the direction flag */
    cld
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
    .size spi32_call_raw, .-spi32_call_raw

    .bss
    .align 4
spi32_saved_esp:
    .long 0
    .section .note.GNU-stack,"",@progbits
