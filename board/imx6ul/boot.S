/* SPDX-License-Identifier: GPL-2.0 */
/*
 * The emulated i.MX6UL's boot loader: it leaves the SoC as the board's own
 * boot loader leaves it for the kernel, the CPU still in the Secure state
 * the reset gave it (the vendor kernel sets up the GIC and its timer tick
 * from there), and starts the zImage with the device tree.
 *
 * QEMU resets the clock controller's CSCDR2 with LCDIF1_CLK_SEL at 5, past
 * what the vendor's clock driver knows; the board's ROM and boot loader
 * leave it at 0.
 */
#define CCM_CSCDR2		0x020c4038
#define LCDIF1_CLK_SEL_MASK	(7 << 9)

	.arm
	.section .text
	.globl	_start
_start:
	ldr	r0, =CCM_CSCDR2
	ldr	r1, [r0]
	bic	r1, r1, #LCDIF1_CLK_SEL_MASK
	str	r1, [r0]
	/* The kernel's boot protocol: r0 = 0, no machine number, r2 = the tree. */
	mov	r0, #0
	mvn	r1, #0
	ldr	r2, =DTB_ADDR
	ldr	pc, =ZIMAGE_ADDR
	.ltorg
