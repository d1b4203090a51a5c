// Starts corvand -N below the build's own root on a free loopback port, with
// fresh settings and logs, and puts the root's previous files back afterwards
// (the same root serves `make run`).
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const net = require('node:net');
const path = require('node:path');

const root = process.env.CORVAND_ROOT;
const binary = process.env.CORVAND_BINARY;
const dirs = ['etc/corvand', 'var/log/corvand', 'var/run/corvand'];

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
    server.on('error', reject);
  });
}

async function waitForPort(port, limitMs) {
  const end = Date.now() + limitMs;
  while (Date.now() < end) {
    const open = await new Promise((resolve) => {
      const socket = net.connect(port, '127.0.0.1', () => { socket.end(); resolve(true); });
      socket.on('error', () => resolve(false));
    });
    if (open) return;
    await new Promise((r) => setTimeout(r, 50));
  }
  throw new Error(`corvand did not listen on ${port}`);
}

async function start() {
  if (!root || !binary) throw new Error('CORVAND_ROOT and CORVAND_BINARY must be set');
  for (const dir of dirs) {
    const full = path.join(root, dir);
    const saved = `${full}.saved-by-browser`;
    if (fs.existsSync(full) && !fs.existsSync(saved)) fs.renameSync(full, saved);
    fs.rmSync(full, { recursive: true, force: true });
    fs.mkdirSync(full, { recursive: true });
  }
  const port = await freePort();
  fs.writeFileSync(path.join(root, 'etc/corvand/start.conf'),
    "[ProxyEngine]\nEffectiveGroup='nogroup-corvand-test'\n" +
    `EffectiveUser='nouser-corvand-test'\nLocalPort=${port}\n`);
  const child = spawn(binary, ['-N'], { stdio: 'ignore' });
  await waitForPort(port, 10_000);
  return {
    port,
    base: `http://127.0.0.1:${port}`,
    file: (relative) => fs.readFileSync(path.join(root, relative), 'latin1'),
    stop: () => new Promise((resolve) => {
      child.once('exit', () => {
        for (const dir of dirs) {
          const full = path.join(root, dir);
          const saved = `${full}.saved-by-browser`;
          fs.rmSync(full, { recursive: true, force: true });
          if (fs.existsSync(saved)) fs.renameSync(saved, full);
        }
        resolve();
      });
      child.kill('SIGTERM');
      setTimeout(() => child.kill('SIGKILL'), 5000).unref();
    }),
  };
}

module.exports = { start };
