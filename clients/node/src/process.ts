// One bridge process: starts it without arguments, writes request lines, cuts its standard
// output into lines, keeps the start of its standard error for messages, and reports its
// end once, after its output has been read to the end. Everything runs on Node's event
// loop; the client owns one of these at a time (plus any that are still ending).
import { spawn, type ChildProcess } from "node:child_process";
import type { ExitInfo } from "./types.js";
import { maxLineLength } from "./wire.js";

export interface ProcessHandlers {
  /** A complete line of standard output, without its newline. */
  line(text: string): void;
  /** Output that cannot be protocol: a line longer than the bridge ever writes. */
  fault(reason: string): void;
  /** The process has ended and all its output has been handed over. */
  end(exit: ExitInfo, detail: string): void;
}

/** Kept from standard error (the bridge writes nothing there; the simulator may). */
const stderrKept = 2048;

export class BridgeProcess {
  readonly ended: Promise<void>;
  readonly #child: ChildProcess;
  readonly #handlers: ProcessHandlers;
  #partial = "";
  #stderr = "";
  #startError: Error | undefined;
  #abandoned = false;

  constructor(executable: string, env: NodeJS.ProcessEnv | undefined, handlers: ProcessHandlers) {
    this.#handlers = handlers;
    this.#child = spawn(executable, [], { env: env ?? process.env, stdio: "pipe", windowsHide: true });
    const child = this.#child;
    child.stdout?.setEncoding("utf8").on("data", (chunk: string) => this.#read(chunk));
    child.stderr?.setEncoding("utf8").on("data", (chunk: string) => this.#keepStderr(chunk));
    // A write to a process that has gone fails with EPIPE; its end is reported by "close".
    child.stdin?.on("error", () => {});
    child.on("error", (error) => {
      if (child.pid === undefined) this.#startError = error;
    });
    this.ended = new Promise((resolve) => {
      child.on("close", (status: number | null, signal: NodeJS.Signals | null) => {
        const exit = this.#startError ? { status: null, signal: null } : { status, signal };
        handlers.end(exit, this.#detail());
        resolve();
      });
    });
  }

  get pid(): number | undefined {
    return this.#child.pid;
  }

  send(line: string): void {
    if (this.#child.stdin?.writable) this.#child.stdin.write(`${line}\n`);
  }

  /** Ends the process's input: the bridge stops at the end of its input. */
  endInput(): void {
    this.#child.stdin?.end();
  }

  /** Stops reading and kills the process; its end is still reported. */
  abandon(): void {
    this.#abandoned = true;
    this.#child.stdin?.destroy();
    this.#child.kill("SIGKILL");
  }

  #read(chunk: string): void {
    this.#partial += chunk;
    let newline = this.#partial.indexOf("\n");
    while (newline >= 0 && !this.#abandoned) {
      const line = this.#partial.slice(0, newline);
      this.#partial = this.#partial.slice(newline + 1);
      if (Buffer.byteLength(line) > maxLineLength) return this.#tooLong();
      this.#handlers.line(line);
      newline = this.#partial.indexOf("\n");
    }
    if (Buffer.byteLength(this.#partial) > maxLineLength) this.#tooLong();
  }

  #tooLong(): void {
    this.#partial = "";
    if (!this.#abandoned) this.#handlers.fault(`a line longer than ${maxLineLength} bytes`);
  }

  #keepStderr(chunk: string): void {
    if (this.#stderr.length < stderrKept) this.#stderr = (this.#stderr + chunk).slice(0, stderrKept);
  }

  #detail(): string {
    if (this.#startError) return `could not start it: ${this.#startError.message}`;
    return this.#stderr.trim();
  }
}
