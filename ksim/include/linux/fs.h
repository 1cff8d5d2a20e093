/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _KSIM_LINUX_FS_H
#define _KSIM_LINUX_FS_H

#include <fcntl.h>
#include <linux/types.h>
#include <linux/kdev_t.h>

struct module;
struct file;

struct inode {
	dev_t i_rdev;
};

/* Who gets a file's SIGIO: set with fcntl F_SETOWN. */
struct fown_struct {
	pid_t pid;
};

#define FASYNC_MAGIC 0x4601

struct fasync_struct {
	int magic;
	int fa_fd;
	struct fasync_struct *fa_next;
	struct file *fa_file;
};

struct file_operations {
	struct module *owner;
	ssize_t (*read)(struct file *, char __user *, size_t, loff_t *);
	ssize_t (*write)(struct file *, const char __user *, size_t, loff_t *);
	int (*open)(struct inode *, struct file *);
	int (*release)(struct inode *, struct file *);
	int (*fasync)(int, struct file *, int);
};

/* One per open(); the file layer owns it from open to the last release. */
struct file {
	const struct file_operations *f_op;
	struct inode *f_inode;
	unsigned int f_flags;
	loff_t f_pos;
	struct fown_struct f_owner;
};

KSIM_BEGIN_DECLS
int fasync_helper(int fd, struct file *filp, int on,
		  struct fasync_struct **fapp);
void kill_fasync(struct fasync_struct **fp, int sig, int band);
int __register_chrdev(unsigned int major, unsigned int baseminor,
		      unsigned int count, const char *name,
		      const struct file_operations *fops);
void __unregister_chrdev(unsigned int major, unsigned int baseminor,
			 unsigned int count, const char *name);
KSIM_END_DECLS

static inline int register_chrdev(unsigned int major, const char *name,
				  const struct file_operations *fops)
{ return __register_chrdev(major, 0, 256, name, fops); }
static inline void unregister_chrdev(unsigned int major, const char *name)
{ __unregister_chrdev(major, 0, 256, name); }

#endif
